// orvkt convert SRC DST | convert SRC... --out-dir DIR [--to EXT]
//
// The operation follows the extensions: DSS/DS2 -> WAV, WAV -> DSS/DS2,
// DSS/DS2 -> DSS/DS2 (change of mode), WAV -> WAV (change of width, rate
// or codec), and MP3 or WMA -> WAV (decoded by the media reader, mono). In
// batch work every file is an independent library call on a worker thread
// of its own.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "OrvaneVktapi.h"
#include "commands.h"
#include "dss_info.h"
#include "interrupt.h"
#include "password.h"
#include "progress_bar.h"
#include "report.h"

namespace orvkt_cli {

namespace {

enum class Kind { Dss, Wav, Mp3, Wma, Other };

Kind kind_of(const std::string& path) {
    const std::string ext = lower_extension(path);
    if (ext == ".dss" || ext == ".ds2") return Kind::Dss;
    if (ext == ".wav") return Kind::Wav;
    if (ext == ".mp3") return Kind::Mp3;
    if (ext == ".wma") return Kind::Wma;
    return Kind::Other;
}

struct Options {
    std::vector<std::string> files;
    std::string out_dir;
    std::string to;
    std::string format;
    uint32_t rate = 0;
    int headers = 3;
    unsigned jobs = 1;
    PasswordSource password;
};

WAVEFORMATEX pcm(uint32_t rate, uint16_t bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

WAVEFORMATEX dss_codec(uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_DSS_SP;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate == 16000 ? 3563 : rate == 12000 ? 1750 : 1167;
    f.nBlockAlign = rate == 16000 ? 57 : 42;
    return f;
}

// The rate of the PCM a source holds or decodes into.
uint32_t natural_rate(const std::string& src) {
    WAVEFORMATEX f{};
    if (ORVKTReadWAVFormat(src.c_str(), &f, sizeof f) != VKT_OK) return 0;
    return f.nSamplesPerSec;
}

// The wanted format for one source and destination; false with a message
// when the combination makes no sense.
bool wanted_format(const Options& o, const std::string& src, Kind dst, WAVEFORMATEX* out, std::string* error) {
    std::string format = o.format;
    if (format.empty()) format = dst == Kind::Dss ? "sp" : "pcm16";
    if (format == "sp" || format == "lp" || format == "qp") {
        if (o.rate) {
            *error = "--rate applies to PCM formats only";
            return false;
        }
        *out = dss_codec(format == "sp" ? 12000 : format == "lp" ? 8000 : 16000);
        return true;
    }
    if (dst == Kind::Dss) {
        *error = "a DSS/DS2 destination takes --format sp, lp or qp";
        return false;
    }
    uint32_t rate = o.rate ? o.rate : natural_rate(src);
    if (rate == 0) rate = 12000;
    *out = pcm(rate, format == "pcm8" ? 8 : 16);
    return true;
}

std::string describe(const WAVEFORMATEX& f) {
    char text[128];
    if (f.wFormatTag == WAVE_FORMAT_PCM) {
        std::snprintf(text, sizeof text, "PCM %u-bit %s %u Hz", f.wBitsPerSample, f.nChannels == 1 ? "mono" : "stereo",
                      f.nSamplesPerSec);
    } else if (f.wFormatTag == WAVE_FORMAT_DSS_SP && f.nSamplesPerSec == 16000) {
        std::snprintf(text, sizeof text, "DSS quality play (0x0121, 16000 Hz)");
    } else if (f.wFormatTag == WAVE_FORMAT_DSS_SP) {
        std::snprintf(text, sizeof text, "DSS %s play (0x0121, %u Hz)", f.nSamplesPerSec == 8000 ? "long" : "standard",
                      f.nSamplesPerSec);
    } else if (f.wFormatTag == WAVE_FORMAT_DSS_LP) {
        std::snprintf(text, sizeof text, "DSS long play G.723.1 (0xFFFC, 8000 Hz)");
    } else {
        std::snprintf(text, sizeof text, "tag 0x%04X, %u Hz", f.wFormatTag, f.nSamplesPerSec);
    }
    return text;
}

// "format, length" of a file just written.
std::string summary(const std::string& path) {
    std::string text;
    WAVEFORMATEX f{};
    if (ORVKTReadWAVFormat(path.c_str(), &f, sizeof f) == VKT_OK) text = describe(f);
    uint32_t ms = 0;
    bool have_length = false;
    if (kind_of(path) == Kind::Dss) {
        nlohmann::json info;
        if (dss_audio(path, &info) == 0 && info.contains("length_ms")) {
            ms = info["length_ms"].get<uint32_t>();
            have_length = true;
        }
    } else if (ORVKTWAVGetSndDataLength(path.c_str(), &ms) == VKT_OK) {
        have_length = true;
    }
    if (have_length) {
        char length[32];
        std::snprintf(length, sizeof length, "%s%u.%03u s", text.empty() ? "" : ", ", ms / 1000, ms % 1000);
        text += length;
    }
    return text;
}

std::string base_name(const std::string& path) {
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// The extension of batch outputs: --to, else by the source and format.
std::string batch_extension(const Options& o, const std::string& src) {
    if (!o.to.empty()) return o.to[0] == '.' ? o.to : "." + o.to;
    const Kind from = kind_of(src);
    if (from == Kind::Dss || from == Kind::Mp3 || from == Kind::Wma) return ".wav";
    if (o.format == "qp") return ".ds2";
    if (o.format == "sp" || o.format == "lp") return ".dss";
    if (o.format.empty()) return ".dss";
    return ".wav";
}

// The reason a source and destination pair cannot be converted, checked
// before the library is called; false after reporting it.
bool check_pair(const Options& o, Context& ctx, const std::string& src, const std::string& dst) {
    const Kind from = kind_of(src), to = kind_of(dst);
    if (from == Kind::Other) {
        fail(ctx, src, "convert reads .dss, .ds2, .wav, .mp3 and .wma files", VKT_ERR_FILE_NAME);
        return false;
    }
    if (to == Kind::Other || to == Kind::Mp3 || to == Kind::Wma) {
        fail(ctx, dst, "convert writes .wav, .dss and .ds2 files", VKT_ERR_FILE_NAME);
        return false;
    }
    if ((from == Kind::Mp3 || from == Kind::Wma) && to != Kind::Wav) {
        fail(ctx, dst, "an MP3 or WMA recording converts to .wav only", VKT_ERR_FILE_NAME);
        return false;
    }
    if (o.format == "qp" && lower_extension(dst) != ".ds2") {
        fail(ctx, dst, "quality play needs a .ds2 destination", VKT_ERR);
        return false;
    }
    if (!check_source(ctx, src)) return false;
    return check_destination(ctx, dst, ctx.force, {src});
}

uint32_t convert_one(const Options& o, const std::string& src, const std::string& dst, const char* password,
                     ProgressCallback callback, intptr_t user, std::string* error) {
    const Kind from = kind_of(src), to = kind_of(dst);
    WAVEFORMATEX format{};
    if (!wanted_format(o, src, to, &format, error)) return VKT_ERR_INVALID_WAVFMT;
    if (from == Kind::Mp3) return ORVKTMP3ToWAV(src.c_str(), dst.c_str(), &format, callback, user);
    if (from == Kind::Wma) return ORVKTWMAToWAV(src.c_str(), dst.c_str(), &format, callback, user);
    if (from == Kind::Dss && to == Kind::Wav)
        return ORVKTDSSToWAV(src.c_str(), dst.c_str(), &format, callback, user, password);
    if (from == Kind::Wav && to == Kind::Dss)
        return ORVKTWAVToDSS(src.c_str(), dst.c_str(), &format, static_cast<int16_t>(o.headers), callback, user);
    if (from == Kind::Dss && to == Kind::Dss)
        return ORVKTDSSToDSS(src.c_str(), dst.c_str(), &format, callback, user, password);
    return ORVKTWAVToWAV(src.c_str(), dst.c_str(), &format, callback, user);
}

// One line for a whole batch: files finished of all, the mean of the
// running files' percentages; each file's result is printed as it ends.
class BatchProgress {
public:
    BatchProgress(size_t files, bool quiet) : bar_("", quiet), percent_(files), total_(files) {
        for (auto& p : percent_) p = 0;
        relabel();
    }
    struct Slot {
        BatchProgress* owner;
        size_t index;
    };
    static int32_t callback(intptr_t user, uint32_t message, uint32_t percent) {
        auto* slot = reinterpret_cast<Slot*>(user);
        slot->owner->percent_[slot->index] = std::min<uint32_t>(percent, 100);
        uint64_t sum = 0;
        for (auto& p : slot->owner->percent_) sum += p;
        return ProgressBar::callback(reinterpret_cast<intptr_t>(&slot->owner->bar_), message,
                                     static_cast<uint32_t>(sum / slot->owner->percent_.size()));
    }
    // A file ended: its line above the bar, the counter one up.
    void done(size_t index, const std::string& line) {
        percent_[index] = 100;
        ++finished_;
        relabel();
        if (!line.empty()) bar_.print_above(line, stdout);
    }
    void finish() { bar_.finish(); }

private:
    void relabel() { bar_.set_label("convert " + std::to_string(finished_) + "/" + std::to_string(total_)); }
    ProgressBar bar_;
    std::vector<std::atomic<uint32_t>> percent_;
    size_t total_;
    std::atomic<size_t> finished_{0};
};

void make_folder(const std::string& dir) {
    std::string part;
    for (size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            if (!part.empty()) ::mkdir(part.c_str(), 0777);
        }
        if (i < dir.size()) part.push_back(dir[i]);
    }
}

bool any_encrypted(const std::vector<std::string>& sources) {
    for (const auto& s : sources) {
        if (kind_of(s) != Kind::Dss) continue;
        uint32_t encrypted = 0;
        if (ORVKTIsEncryptedDSSFile(s.c_str(), &encrypted) == VKT_OK && encrypted) return true;
    }
    return false;
}

std::string result_line(const std::string& src, const std::string& dst) {
    return src + " -> " + dst + " (" + summary(dst) + ")";
}

void run(const Options& o, Context& ctx) {
    std::vector<std::pair<std::string, std::string>> work;
    if (!o.out_dir.empty()) {
        make_folder(o.out_dir);
        for (const auto& src : o.files) work.emplace_back(src, o.out_dir + "/" + base_name(src) + batch_extension(o, src));
    } else if (o.files.size() == 2) {
        work.emplace_back(o.files[0], o.files[1]);
    } else {
        fail(ctx, "", "convert takes SRC DST, or several sources with --out-dir DIR", VKT_ERR_FILE_NAME);
        return;
    }
    // Pairs that cannot work are reported and left out; the rest go on.
    std::vector<std::pair<std::string, std::string>> ready;
    for (const auto& w : work)
        if (check_pair(o, ctx, w.first, w.second)) ready.push_back(w);
    work = std::move(ready);
    if (work.empty()) return;

    std::string password;
    std::vector<std::string> sources;
    for (const auto& w : work) sources.push_back(w.first);
    if (o.password.given() || any_encrypted(sources)) {
        std::string error;
        if (!read_password(o.password, "Password: ", false, password, error)) {
            fail(ctx, o.password.file, error, VKT_ERR_PASSWORD);
            return;
        }
    }
    const char* pw = password.empty() ? nullptr : password.c_str();

    std::mutex report_mutex;
    auto report = [&](size_t i, uint32_t result, const std::string& error) {
        std::lock_guard lock(report_mutex);
        if (!error.empty()) return fail(ctx, work[i].second, error, result), void();
        report_result(ctx, {"convert", work[i].first, work[i].second, {}}, result);
    };
    if (work.size() == 1) {
        std::string error;
        uint32_t result = VKT_OK;
        {
            ProgressBar bar(work[0].first, ctx.quiet);
            result = convert_one(o, work[0].first, work[0].second, pw, bar.function(), bar.user(), &error);
        }
        if (result == VKT_OK) say(ctx, result_line(work[0].first, work[0].second));
        else report(0, result, error);
    } else {
        BatchProgress progress(work.size(), ctx.quiet);
        std::vector<BatchProgress::Slot> slots(work.size());
        std::atomic<size_t> next{0};
        auto worker = [&] {
            // After Ctrl-C no new file is started; the running ones cancel.
            for (size_t i = next++; i < work.size() && !interrupted(); i = next++) {
                slots[i] = {&progress, i};
                std::string error;
                const uint32_t result = convert_one(o, work[i].first, work[i].second, pw, &BatchProgress::callback,
                                                    reinterpret_cast<intptr_t>(&slots[i]), &error);
                if (result == VKT_OK) {
                    progress.done(i, ctx.quiet ? "" : result_line(work[i].first, work[i].second));
                } else {
                    progress.finish();
                    report(i, result, error);
                    progress.done(i, "");
                }
            }
        };
        const unsigned jobs = std::max(1u, std::min<unsigned>(o.jobs, static_cast<unsigned>(work.size())));
        std::vector<std::thread> threads;
        for (unsigned t = 0; t < jobs; ++t) threads.emplace_back(worker);
        for (auto& t : threads) t.join();
        progress.finish();
    }
    std::memset(password.data(), 0, password.size());
}

}  // namespace

void register_convert(CLI::App& app, Context& ctx) {
    auto* cmd = app.add_subcommand(
        "convert", "Convert between DSS/DS2 and WAV files, or MP3/WMA to WAV (the operation follows the extensions)");
    auto o = std::make_shared<Options>();
    cmd->add_option("FILES", o->files, "SRC DST, or the sources of a batch with --out-dir")->required();
    cmd->add_option("--out-dir", o->out_dir, "Batch: write every source's result into this folder (created when missing)");
    cmd->add_option("--to", o->to, "Batch: extension of the results (wav, dss, ds2)")
        ->check(CLI::IsMember({"wav", "dss", "ds2", ".wav", ".dss", ".ds2"}));
    cmd->add_option("--format", o->format,
                    "Wanted format: pcm16, pcm8 (WAV), sp (standard play), lp (long play, SP at 8000 Hz), "
                    "qp (quality play, .ds2)")
        ->check(CLI::IsMember({"pcm16", "pcm8", "sp", "lp", "qp"}));
    cmd->add_option("--rate", o->rate, "Sampling rate of a PCM result (default: the source's)")
        ->check(CLI::IsMember({8000, 11025, 12000, 16000, 22050, 32000, 44100}));
    cmd->add_option("--headers", o->headers, "Header blocks of a new DSS/DS2 file (1 to 3, default 3)")
        ->check(CLI::Range(1, 3));
    cmd->add_option("-j,--jobs", o->jobs, "Batch: files converted at the same time")->check(CLI::Range(1u, 64u));
    add_password_options(cmd, o->password);
    add_force_flag(cmd, ctx);
    cmd->callback([o, &ctx] { run(*o, ctx); });
}

}  // namespace orvkt_cli
