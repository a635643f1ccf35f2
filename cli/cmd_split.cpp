// orvkt split SRC --length S [--overlap S] [--count N] [--out-dir DIR]
// [--mask MASK] [password options]: pieces of a DSS/DS2 recording, or of an
// MP3 recording (frames copied as stored, no password).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "edit/DSSSplitter.h"
#include "password.h"
#include "platform/path.h"
#include "progress_bar.h"
#include "report.h"

namespace orvkt_cli {

namespace {

struct SplitArgs {
    std::string src, out_dir, mask;
    uint32_t length = 0;
    uint32_t overlap = 0;
    uint32_t count = 0xFFFFFFFF;  // no limit
    bool ask_password = false;
    PasswordSource password;
};

// "memo.dss" -> "memo_%03d.dss"; percent signs of the name are kept as text.
std::string default_mask(const std::string& src) {
    const vkt::platform::PathParts parts = vkt::platform::split_path(src);
    std::string stem;
    for (char c : parts.fname) {
        stem.push_back(c);
        if (c == '%') stem.push_back('%');
    }
    std::string ext;
    for (char c : parts.ext) {
        ext.push_back(c);
        if (c == '%') ext.push_back('%');
    }
    return stem + "_%03d" + ext;
}

// The source's folder; empty (the current one) for a bare name.
std::string default_out_dir(const std::string& src) { return vkt::platform::split_path(src).dir; }

bool is_mp3(const std::string& src) {
    return vkt::platform::equals_ignore_case(vkt::platform::extension_of(src), ".mp3");
}

// The pieces, in order; a mask without placeholder names one file.
void print_pieces(const std::string& out_dir, const std::string& mask, uint32_t created) {
    std::string previous;
    for (uint32_t n = 1; n <= created; ++n) {
        std::string name;
        if (!CDSSSplitter::FormatPieceName(mask, n, name) || name == previous) continue;
        previous = name;
        std::printf("%s\n", vkt::platform::combine_path(out_dir, name).c_str());
    }
}

}  // namespace

void register_split(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand("split", "Cut a DSS/DS2 or MP3 recording into pieces of a given length");
    auto a = std::make_shared<SplitArgs>();
    cmd->add_option("SRC", a->src, "DSS/DS2 recording of our own family (licensee 3), or an MP3 recording")
        ->required();
    cmd->add_option("-l,--length", a->length, "Length of each piece in seconds")
        ->required()
        ->check(CLI::Range(1u, 0xFFFFFFFFu));
    cmd->add_option("--overlap", a->overlap, "Seconds by which consecutive pieces overlap (below --length)")
        ->capture_default_str();
    cmd->add_option("-n,--count", a->count, "Largest number of pieces; the last one takes the rest")
        ->check(CLI::Range(1u, 0xFFFFFFFFu));
    cmd->add_option("-o,--out-dir", a->out_dir, "Folder for the pieces (default: the source's folder)");
    cmd->add_option("-m,--mask", a->mask,
                    "Piece names, printf style with one integer placeholder numbered from 1 "
                    "(default: NAME_%03d.EXT of the source)");
    cmd->add_flag("--password", a->ask_password,
                  "Ask for the password (needed for an encrypted source; the pieces are encrypted with it)");
    add_password_options(cmd, a->password);
    cmd->callback([a, &ctx] {
        const std::string out_dir = a->out_dir.empty() ? default_out_dir(a->src) : a->out_dir;
        const std::string mask = a->mask.empty() ? default_mask(a->src) : a->mask;

        if (is_mp3(a->src)) {
            if (a->ask_password || a->password.given()) {
                std::fprintf(stderr, "orvkt: an MP3 recording takes no password\n");
                ctx.result = VKT_ERR_PASSWORD;
                return;
            }
            uint32_t last = 0;
            {
                ProgressBar bar("split", ctx.quiet);
                ctx.result = ORVKTSplitMP3File(a->src.c_str(), out_dir.c_str(), mask.c_str(), a->length, a->overlap,
                                               a->count, &last, bar.function(), bar.user());
            }
            if (report_failure(a->src, ctx.result) != 0) return;
            print_pieces(out_dir, mask, last);
            return;
        }

        // An encrypted source needs its password; ask for it when none was given.
        uint32_t encrypted = 0;
        ORVKTIsEncryptedDSSFile(a->src.c_str(), &encrypted);
        std::string password;
        const bool with_password = encrypted || a->ask_password || a->password.given();
        if (with_password) {
            std::string error;
            if (!read_password(a->password, "Password for " + a->src + ": ", false, password, error)) {
                std::fprintf(stderr, "orvkt: %s\n", error.c_str());
                ctx.result = VKT_ERR_PASSWORD;
                return;
            }
        }

        uint32_t created = 0;
        {
            ProgressBar bar("split", ctx.quiet);
            ctx.result = ORVKTSplitDSSFile(a->src.c_str(), out_dir.c_str(), mask.c_str(),
                                           with_password ? password.c_str() : nullptr, a->length, a->overlap,
                                           a->count, &created, bar.function(), bar.user());
        }
        std::memset(password.data(), 0, password.size());
        if (report_failure(a->src, ctx.result) != 0) return;
        print_pieces(out_dir, mask, created);
    });
}

}  // namespace orvkt_cli
