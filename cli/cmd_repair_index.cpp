// orvkt repair-index SRC DST: a copy whose index tables are rebuilt from the
// spoken-instruction markers.
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "report.h"

namespace orvkt_cli {

void register_repair_index(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("repair-index",
                                   "Copy a DSS/DS2 file with its index tables rebuilt from its instruction markers");
    struct Args {
        std::string src, dst;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("SRC", a->src, "Recording of our own family (licensee 3)")->required();
    cmd->add_option("DST", a->dst, "Repaired copy (.dss or .ds2; the long index only in .ds2)")->required();
    add_force_flag(cmd, ctx);
    cmd->callback([a, &ctx] {
        if (!check_source(ctx, a->src) || !check_destination(ctx, a->dst, ctx.force, {a->src})) return;
        const uint32_t r = ORVKTRepairIndexMarkers(a->src.c_str(), a->dst.c_str());
        if (report_result(ctx, {"repair-index", a->src, a->dst, {}}, r) == 0)
            say(ctx, "repaired the index of " + a->src + " -> " + a->dst);
    });
}

}  // namespace orvkt_cli
