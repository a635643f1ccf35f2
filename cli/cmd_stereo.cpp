// orvkt stereo split SRC LEFT RIGHT | stereo mix SRC DST
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "progress_bar.h"
#include "report.h"

namespace orvkt_cli {

void register_stereo(CLI::App& app, Context& ctx) {
    auto* stereo = app.add_subcommand("stereo", "Split or mix the channels of a stereo PCM WAV file");
    stereo->require_subcommand(1);

    auto* split = stereo->add_subcommand("split", "Write each channel into a mono file (LEFT gets the second channel)");
    struct SplitArgs {
        std::string src, left, right;
    };
    auto s = std::make_shared<SplitArgs>();
    split->add_option("SRC", s->src, "Stereo PCM WAV file")->required();
    split->add_option("LEFT", s->left, "Mono file of the frame's second channel")->required();
    split->add_option("RIGHT", s->right, "Mono file of the frame's first channel")->required();
    add_force_flag(split, ctx);
    split->callback([s, &ctx] {
        if (!check_source(ctx, s->src) || !check_destination(ctx, s->left, ctx.force, {s->src}) ||
            !check_destination(ctx, s->right, ctx.force, {s->src}))
            return;
        uint32_t r = 0;
        {
            ProgressBar bar("split " + s->src, ctx.quiet);
            r = ORVKTWAVSplitStereo(s->src.c_str(), s->left.c_str(), s->right.c_str(), bar.function(), bar.user());
        }
        if (report_result(ctx, {"stereo split", s->src, s->left, {}}, r) == 0)
            say(ctx, "split " + s->src + " -> " + s->left + " " + s->right);
    });

    auto* mix = stereo->add_subcommand("mix", "Mix both channels of a 16-bit stereo file into one mono file");
    auto m = std::make_shared<std::pair<std::string, std::string>>();
    mix->add_option("SRC", m->first, "16-bit stereo PCM WAV file")->required();
    mix->add_option("DST", m->second, "Mono WAV file")->required();
    add_force_flag(mix, ctx);
    mix->callback([m, &ctx] {
        if (!check_source(ctx, m->first) || !check_destination(ctx, m->second, ctx.force, {m->first})) return;
        uint32_t r = 0;
        {
            ProgressBar bar("mix " + m->first, ctx.quiet);
            r = ORVKTWAVMixStereo(m->first.c_str(), m->second.c_str(), bar.function(), bar.user());
        }
        if (report_result(ctx, {"stereo mix", m->first, m->second, {}}, r) == 0)
            say(ctx, "mixed " + m->first + " -> " + m->second);
    });
}

}  // namespace orvkt_cli
