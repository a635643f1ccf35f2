// orvkt copy SRC DST [--write-through] / orvkt delete FILE...
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "report.h"

namespace orvkt_cli {

void register_copy(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("copy", "Copy a file with free-space check, corrupt-block filter (DSS) and CRC-32 verification");
    struct Args {
        std::string src, dst;
        bool write_through = false;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("SRC", a->src, "Source file")->required();
    cmd->add_option("DST", a->dst, "Destination file (must not exist)")->required();
    cmd->add_flag("--write-through", a->write_through,
                  "Write straight to the disk (no download time is stamped into the copy's header)");
    cmd->callback([a, &ctx] {
        ctx.result = ORVKTCopyFile(a->src.c_str(), a->dst.c_str(), a->write_through ? 1 : 0);
        report_failure(a->src, ctx.result);
    });
}

void register_delete(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("delete", "Delete files through a temporary name, flushed first");
    auto files = std::make_shared<std::vector<std::string>>();
    cmd->add_option("FILE", *files, "Files to delete")->required();
    cmd->callback([files, &ctx] {
        for (const auto& f : *files) {
            uint32_t r = ORVKTDeleteFile(f.c_str());
            report_failure(f, r);
            if (r != 0 && ctx.result == 0) ctx.result = r;
        }
    });
}

}  // namespace orvkt_cli
