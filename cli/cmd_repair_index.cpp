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
    cmd->callback([a, &ctx] {
        ctx.result = ORVKTRepairIndexMarkers(a->src.c_str(), a->dst.c_str());
        report_failure(a->src, ctx.result);
    });
}

}  // namespace orvkt_cli
