// orvkt: the command-line tool over the dictation-file library.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "commands.h"
#include "interrupt.h"
#include "trace/xkrvlog_capture.h"

namespace {
// A command line that cannot be parsed (EX_USAGE of sysexits).
constexpr int kUsageStatus = 64;
// A fault of the tool itself (EX_SOFTWARE), above every result code of the library.
constexpr int kInternalErrorStatus = 70;

const char* kFooter = R"footer(Exit status: 0 on success; the library's result code (printed as "(code N)")
when an operation fails; 64 when the command line cannot be parsed; 130 after
Ctrl-C (a second Ctrl-C ends the tool at once).

Formats: dates YYMMDD or 2026-12-04, times HHMMSS or 14:03:00, header-1 text at
most 16 and texts 1-13 at most 30 Windows-1252 characters, passwords 4 to 16
characters, markers START-END as 5s-8s, 1:05-1:08, 5000ms-8000ms or plain
milliseconds. Run 'orvkt SUBCOMMAND --help' for the options of each.)footer";
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"orvkt: read, convert, encrypt and edit dictation files (DSS, DS2, WAV, MP3, WMA)"};
    app.set_version_flag("--version", std::string("orvkt ") + ORVKT_VERSION);
    app.require_subcommand(1);
    app.footer(kFooter);

    orvkt_cli::Context ctx;
    std::string trace_file;
    app.add_option("--trace", trace_file, "Write the library's trace log to FILE ('-' for stderr)");
    app.add_flag("-q,--quiet", ctx.quiet, "No progress line and no summary line (failures are still printed)");
    app.parse_complete_callback([&] {
        if (!trace_file.empty() && !xkrvlog::set_output_file(trace_file))
            std::fprintf(stderr, "orvkt: %s: cannot open the trace file\n", trace_file.c_str());
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

    orvkt_cli::install_interrupt_handlers();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        // --help and --version end the parse with status 0.
        return status == 0 ? 0 : kUsageStatus;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvkt: internal error: %s\n", e.what());
        return kInternalErrorStatus;
    }
    if (orvkt_cli::interrupted()) {
        std::fprintf(stderr, "orvkt: interrupted\n");
        return orvkt_cli::kInterruptedStatus;
    }
    // The exit status is the operation's result code (0 success); none is
    // above 255.
    return static_cast<int>(ctx.result);
}
