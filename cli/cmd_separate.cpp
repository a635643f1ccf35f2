// orvkt separate SRC DST [--no-dictation] [--no-instruction]
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "progress_bar.h"
#include "report.h"

namespace orvkt_cli {

void register_separate(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("separate",
                                   "Cut a WAV recording along its markers into DST (dictation) and DST_i (instructions)");
    struct Args {
        std::string src, dst;
        bool no_dictation = false, no_instruction = false;
    };
    auto a = std::make_shared<Args>();
    cmd->add_option("SRC", a->src, "WAV file with markers")->required();
    cmd->add_option("DST", a->dst, "Dictation file; the same name as SRC replaces it")->required();
    cmd->add_flag("--no-dictation", a->no_dictation, "Do not write the dictation file");
    cmd->add_flag("--no-instruction", a->no_instruction, "Do not write the instruction file");
    cmd->callback([a, &ctx] {
        ProgressBar bar("separate", ctx.quiet);
        ctx.result = ORVKTWAVSeperateSpokenInstructions(a->src.c_str(), a->dst.c_str(), a->no_dictation ? 0 : 1,
                                                        a->no_instruction ? 0 : 1, bar.function(), bar.user());
        bar.finish();
        report_failure(a->src, ctx.result);
    });
}

}  // namespace orvkt_cli
