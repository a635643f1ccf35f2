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
    cmd->add_option("SRC", a->sources, "Recordings to join, in order (DSS/DS2 files of one mode)")->required();
    add_force_flag(cmd, ctx);
    cmd->callback([a, &ctx] {
        // The library takes one list with "?" between the names.
        std::string list;
        for (const auto& s : a->sources) {
            if (s.find('?') != std::string::npos) {
                fail(ctx, s, "a name with '?' cannot be joined (the library separates names by '?')",
                     VKT_ERR_FILE_NAME);
                return;
            }
            if (!list.empty()) list += '?';
            list += s;
        }
        for (const auto& s : a->sources)
            if (!check_source(ctx, s)) return;
        if (!check_destination(ctx, a->dst, ctx.force, a->sources)) return;
        if (!check_modes(ctx, a->sources)) return;
        uint32_t r = 0;
        {
            ProgressBar bar("join " + a->dst, ctx.quiet);
            r = ORVKTJoinDSS(list.c_str(), a->dst.c_str(), bar.function(), bar.user(), 0, 100);
        }
        if (report_result(ctx, {"join", a->sources.front(), a->dst, a->sources}, r) == 0)
            say(ctx, "joined " + std::to_string(a->sources.size()) + " recordings -> " + a->dst);
    });
}

}  // namespace orvkt_cli
