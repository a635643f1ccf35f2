// orvkt copy SRC DST [--write-through] [-f] / orvkt delete FILE...
#include <unistd.h>

#include <cstdio>
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
    cmd->add_option("DST", a->dst, "Destination file (refused when it exists, unless -f)")->required();
    cmd->add_flag("--write-through", a->write_through,
                  "Write straight to the disk (no download time is stamped into the copy's header)");
    add_force_flag(cmd, ctx);
    cmd->callback([a, &ctx] {
        if (!check_source(ctx, a->src) || !check_destination(ctx, a->dst, ctx.force, {a->src})) return;
        // The library never replaces a file: with -f the copy goes to a
        // free name beside the destination and is moved over it when done,
        // so a failed copy leaves the old destination as it was.
        std::string target = a->dst;
        const bool replace = file_exists(a->dst);
        if (replace) target = a->dst + ".orvkt-" + std::to_string(::getpid());
        uint32_t r = ORVKTCopyFile(a->src.c_str(), target.c_str(), a->write_through ? 1 : 0);
        if (r == VKT_OK && replace && std::rename(target.c_str(), a->dst.c_str()) != 0) {
            std::remove(target.c_str());
            r = VKT_ERR_COPY_FAILED;
        }
        if (r != VKT_OK && replace) std::remove(target.c_str());
        if (report_result(ctx, {"copy", a->src, a->dst, {}}, r) == 0) say(ctx, "copied " + a->src + " -> " + a->dst);
    });
}

void register_delete(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("delete", "Delete files through a temporary name, flushed first");
    auto files = std::make_shared<std::vector<std::string>>();
    cmd->add_option("FILE", *files, "Files to delete (read-only files are kept)")->required();
    cmd->callback([files, &ctx] {
        for (const auto& f : *files) {
            if (!check_source(ctx, f)) continue;
            const uint32_t r = ORVKTDeleteFile(f.c_str());
            if (r == VKT_ERR_FILE_READONLY) fail(ctx, f, "is read-only; it was kept", r);
            else if (report_result(ctx, {"delete", f, "", {}}, r) == 0) say(ctx, "deleted " + f);
        }
    });
}

}  // namespace orvkt_cli
