// orvkt: the command-line tool over the dictation-file library.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "commands.h"
#include "trace/xkrvlog_capture.h"

namespace {
// Above every result code of the library (EX_SOFTWARE of sysexits).
constexpr int kInternalErrorStatus = 70;
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"orvkt: read, convert, encrypt and edit dictation files (DSS, DS2, WAV, MP3, WMA)"};
    app.set_version_flag("--version", std::string("orvkt ") + ORVKT_VERSION);
    app.require_subcommand(1);

    orvkt_cli::Context ctx;
    std::string trace_file;
    app.add_option("--trace", trace_file, "Write the library's trace log to FILE ('-' for stderr)");
    app.add_flag("-q,--quiet", ctx.quiet, "No progress bar");
    app.parse_complete_callback([&] {
        if (!trace_file.empty() && !xkrvlog::set_output_file(trace_file))
            std::fprintf(stderr, "orvkt: cannot open trace file %s\n", trace_file.c_str());
    });

    orvkt_cli::register_convert(app, ctx);
    orvkt_cli::register_header_block(app, ctx);
    orvkt_cli::register_copy(app, ctx);
    orvkt_cli::register_delete(app, ctx);
    orvkt_cli::register_info(app, ctx);
    orvkt_cli::register_header(app, ctx);
    orvkt_cli::register_markers(app, ctx);
    orvkt_cli::register_separate(app, ctx);
    orvkt_cli::register_stereo(app, ctx);
    orvkt_cli::register_template(app, ctx);
    orvkt_cli::register_encryption(app, ctx);
    orvkt_cli::register_split(app, ctx);
    orvkt_cli::register_join(app, ctx);
    orvkt_cli::register_repair_index(app, ctx);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const std::exception& e) {
        // A fault of the tool itself, not of the file: say so instead of aborting.
        std::fprintf(stderr, "orvkt: internal error: %s\n", e.what());
        return kInternalErrorStatus;
    }
    // The exit status is the operation's result code (0 success); codes
    // above 255 cannot be told apart by the shell, but none are that high.
    return static_cast<int>(ctx.result);
}
