// orvkt split SRC --length S [--overlap S] [--count N] [--out-dir DIR]
// [--mask MASK] [password options]: pieces of a DSS/DS2 recording, or of an
// MP3 recording (frames copied as stored, no password).
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "dss_info.h"
#include "edit/dss_splitter.h"
#include "media/mp3_file.h"
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

// The pieces' names, in order; a mask without placeholder names one file.
std::vector<std::string> piece_names(const std::string& out_dir, const std::string& mask, uint32_t count) {
    std::vector<std::string> names;
    std::string previous;
    for (uint32_t n = 1; n <= count; ++n) {
        std::string name;
        if (!CDSSSplitter::FormatPieceName(mask, n, name) || name == previous) continue;
        previous = name;
        names.push_back(vkt::platform::combine_path(out_dir, name));
    }
    return names;
}

// The recording's length in milliseconds, 0 when it cannot be told.
uint64_t length_ms(const std::string& src) {
    if (is_mp3(src)) {
        CMp3File mp3;
        return mp3.create_file(src.c_str()) == 0 ? mp3.GetLengthInMs() : 0;
    }
    nlohmann::json j;
    return dss_audio(src, &j) == 0 && j.contains("length_ms") ? j["length_ms"].get<uint64_t>() : 0;
}

// How many pieces the split will write (at least one).
uint32_t expected_pieces(const SplitArgs& a) {
    const uint64_t total = length_ms(a.src), piece = uint64_t{a.length} * 1000;
    uint64_t n = 1;
    if (a.overlap < a.length && total > piece) {
        const uint64_t step = uint64_t{a.length - a.overlap} * 1000;
        n = 1 + (total - piece + step - 1) / step;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(n, a.count));
}

// Refuses pieces that exist already (unless -f); creates the folder.
bool check_pieces(Context& ctx, const SplitArgs& a, const std::string& out_dir, const std::string& mask) {
    if (!out_dir.empty()) {
        std::string part;
        for (size_t i = 0; i <= out_dir.size(); ++i) {
            if ((i == out_dir.size() || out_dir[i] == '/') && !part.empty()) ::mkdir(part.c_str(), 0777);
            if (i < out_dir.size()) part.push_back(out_dir[i]);
        }
    }
    for (const auto& name : piece_names(out_dir, mask, expected_pieces(a)))
        if (!check_destination(ctx, name, ctx.force, {a.src})) return false;
    return true;
}

void print_pieces(const Context& ctx, const SplitArgs& a, const std::string& out_dir, const std::string& mask,
                  uint32_t created) {
    const auto names = piece_names(out_dir, mask, created);
    say(ctx, "split " + a.src + " into " + std::to_string(names.size()) + " piece(s):");
    // The names are the command's result, for scripts too: -q keeps them.
    for (const auto& n : names) std::printf("%s\n", n.c_str());
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
    add_force_flag(cmd, ctx);
    cmd->callback([a, &ctx] {
        const std::string out_dir = a->out_dir.empty() ? default_out_dir(a->src) : a->out_dir;
        const std::string mask = a->mask.empty() ? default_mask(a->src) : a->mask;
        if (!check_source(ctx, a->src)) return;
        const std::string ext = lower_extension(a->src);
        if (ext != ".dss" && ext != ".ds2" && ext != ".mp3") {
            fail(ctx, a->src, "split takes DSS, DS2 or MP3 recordings", VKT_ERR_OPEN_FILE);
            return;
        }
        if (a->overlap >= a->length) {
            fail(ctx, "--overlap", "must be shorter than --length", VKT_ERR);
            return;
        }
        if (!check_pieces(ctx, *a, out_dir, mask)) return;

        if (is_mp3(a->src)) {
            if (a->ask_password || a->password.given()) {
                fail(ctx, a->src, "an MP3 recording takes no password", VKT_ERR_PASSWORD);
                return;
            }
            uint32_t last = 0, r = 0;
            {
                ProgressBar bar("split " + a->src, ctx.quiet);
                r = ORVKTSplitMP3File(a->src.c_str(), out_dir.c_str(), mask.c_str(), a->length, a->overlap, a->count,
                                      &last, bar.function(), bar.user());
            }
            if (report_result(ctx, {"split", a->src, "", {}}, r) != 0) return;
            print_pieces(ctx, *a, out_dir, mask, last);
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
                fail(ctx, a->password.file.empty() ? a->src : a->password.file, error, VKT_ERR_PASSWORD);
                return;
            }
        }

        uint32_t created = 0, r = 0;
        {
            ProgressBar bar("split " + a->src, ctx.quiet);
            r = ORVKTSplitDSSFile(a->src.c_str(), out_dir.c_str(), mask.c_str(),
                                  with_password ? password.c_str() : nullptr, a->length, a->overlap, a->count,
                                  &created, bar.function(), bar.user());
        }
        std::memset(password.data(), 0, password.size());
        if (report_result(ctx, {"split", a->src, "", {}}, r) != 0) return;
        print_pieces(ctx, *a, out_dir, mask, created);
    });
}

}  // namespace orvkt_cli
