// orvkt join DST SRC...: one recording from several, frame by frame.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "progress_bar.h"
#include "report.h"

namespace orvkt_cli {

void register_join(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("join", "Join DSS/DS2 recordings of one compression mode into one file");
    struct Args {
        std::string dst;
        std::vector<std::string> sources;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("DST", a->dst, "Joined recording (headers from the first source, end time from the last)")
        ->required();
    cmd->add_option("SRC", a->sources, "Recordings to join, in order")->required();
    cmd->callback([a, &ctx] {
        // The library takes one list with "?" between the names.
        std::string list;
        for (const auto& s : a->sources) {
            if (s.find('?') != std::string::npos) {
                std::fprintf(stderr, "orvkt: %s: a name with '?' cannot be joined\n", s.c_str());
                ctx.result = VKT_ERR_FILE_NAME;
                return;
            }
            if (!list.empty()) list += '?';
            list += s;
        }
        {
            ProgressBar bar("join", ctx.quiet);
            ctx.result = ORVKTJoinDSS(list.c_str(), a->dst.c_str(), bar.function(), bar.user(), 0, 100);
        }
        report_failure(a->dst, ctx.result);
    });
}

}  // namespace orvkt_cli
