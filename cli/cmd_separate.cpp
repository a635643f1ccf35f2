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
    add_force_flag(cmd, ctx);
    cmd->callback([a, &ctx] {
        if (!check_source(ctx, a->src)) return;
        // DST_i beside DST: the instructions.
        const auto dot = a->dst.find_last_of('.');
        const bool has_ext = dot != std::string::npos && a->dst.find('/', dot) == std::string::npos;
        const std::string instructions =
            has_ext ? a->dst.substr(0, dot) + "_i" + a->dst.substr(dot) : a->dst + "_i";
        // DST naming SRC replaces the source on purpose.
        if (!a->no_dictation && a->dst != a->src && !check_destination(ctx, a->dst, ctx.force, {a->src})) return;
        if (!a->no_instruction && !check_destination(ctx, instructions, ctx.force, {a->src})) return;
        uint32_t r = 0;
        {
            ProgressBar bar("separate " + a->src, ctx.quiet);
            r = ORVKTWAVSeperateSpokenInstructions(a->src.c_str(), a->dst.c_str(), a->no_dictation ? 0 : 1,
                                                   a->no_instruction ? 0 : 1, bar.function(), bar.user());
        }
        if (report_result(ctx, {"separate", a->src, a->dst, {}}, r) == 0)
            say(ctx, "separated " + a->src + " -> " + (a->no_dictation ? "" : a->dst + " ") +
                         (a->no_instruction ? "" : instructions));
    });
}

}  // namespace orvkt_cli
