// Our DSS SP encoder on ten seconds of espeak-ng speech in three voices at
// 12 kHz: encoding speed, and the quality of encoder + libavcodec's decoder
// against Opus at 14 kbit/s (ffmpeg's libopus) measured the same way in the
// same run. Quality counters: lsd_dB (log-spectral distance, 32 ms frames,
// top 60 dB of each frame), segsnr_dB, corr, and on the Opus line
// sp_lsd_ratio (ours / Opus's); speed: x_realtime (seconds of audio encoded
// per second of CPU, one thread).
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/codecs/sp_quality.h"
#include "codecs/dss_sp_encoder.h"

namespace {

constexpr int kRate = 12000;
constexpr int kSeconds = 10;

struct Scratch {
    std::string dir;
    Scratch() {
        char name[] = "/tmp/orvkt-spbench-XXXXXX";
        if (::mkdtemp(name)) dir = name;
    }
    ~Scratch() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string path(const char* file) const { return dir + "/" + file; }
};

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<int16_t> read_raw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    return s;
}

void write_raw(const std::string& path, const std::vector<int16_t>& s) {
    std::ofstream out(path, std::ios::binary);
    for (int16_t v : s) {
        const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
        out.write(b, 2);
    }
}

// Ten seconds of three voices, made once.
const std::vector<int16_t>& speech() {
    static const std::vector<int16_t> samples = [] {
        const struct {
            const char* voice;
            const char* text;
        } parts[] = {
            {"en-us", "The quick brown fox jumps over the lazy dog while the dictation keeps running."},
            {"en+f3", "Please send the signed contract to the office before Friday afternoon."},
            {"de", "Der Bericht muss bis morgen fertig sein, sonst verschieben wir die Sitzung."},
        };
        Scratch tmp;
        std::vector<int16_t> all;
        for (const auto& p : parts) {
            const std::string wav = tmp.path("part.wav"), raw = tmp.path("part.raw");
            if (!run(std::string("espeak-ng -v ") + p.voice + " -w '" + wav + "' '" + p.text + "'") ||
                !run("sox -D '" + wav + "' -t raw -e signed -b 16 -c 1 -r 12000 '" + raw + "'"))
                return std::vector<int16_t>{};
            const std::vector<int16_t> s = read_raw(raw);
            all.insert(all.end(), s.begin(), s.end());
        }
        all.resize(static_cast<size_t>(kRate) * kSeconds, 0);
        return all;
    }();
    return samples;
}

std::vector<uint8_t> encode(const std::vector<int16_t>& pcm) {
    vkt::codecs::DssSpEncoder encoder(kRate);
    const size_t frames = pcm.size() / 288;
    std::vector<uint8_t> out(frames * 41);
    for (size_t f = 0; f < frames; ++f) encoder.encode(pcm.data() + f * 288, out.data() + f * 41);
    return out;
}

// Our log-spectral distance, for the ratio shown beside Opus's.
double our_lsd = 0;

// The lag (test later than ref, in samples) that maximizes the correlation.
int best_lag(const std::vector<float>& ref, const std::vector<float>& test, int max_lag) {
    int best = 0;
    double best_c = -1e300;
    const long n = static_cast<long>(std::min(ref.size(), test.size()));
    for (int lag = -max_lag; lag <= max_lag; ++lag) {
        double c = 0;
        for (long i = std::max(0, -lag); i < n && i + lag < static_cast<long>(test.size()); ++i)
            c += static_cast<double>(ref[i]) * test[i + lag];
        if (c > best_c) best_c = c, best = lag;
    }
    return best;
}

void report(benchmark::State& state, const sp_quality::Quality& q) {
    state.counters["lsd_dB"] = q.lsd;
    state.counters["segsnr_dB"] = q.segmental_snr;
    state.counters["corr"] = q.correlation;
}

void BM_SpEncodeSpeed(benchmark::State& state) {
    const std::vector<int16_t>& pcm = speech();
    if (pcm.empty()) return state.SkipWithError("espeak-ng or sox missing");
    const std::clock_t start = std::clock();
    for (auto _ : state) benchmark::DoNotOptimize(encode(pcm));
    const double cpu = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    state.counters["x_realtime"] = cpu > 0 ? kSeconds * static_cast<double>(state.iterations()) / cpu : 0.0;
}
BENCHMARK(BM_SpEncodeSpeed)->Unit(benchmark::kMillisecond);

void BM_SpQuality(benchmark::State& state) {
    const std::vector<int16_t>& pcm = speech();
    if (pcm.empty()) return state.SkipWithError("espeak-ng or sox missing");
    sp_quality::Quality q;
    for (auto _ : state) {
        const std::vector<int16_t> decoded = sp_quality::decode_frames(encode(pcm));
        const std::vector<float> ref =
            sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
        q = sp_quality::measure(ref, sp_quality::to_float(decoded), 11000);
    }
    our_lsd = q.lsd;
    report(state, q);
}
BENCHMARK(BM_SpQuality)->Unit(benchmark::kMillisecond)->Iterations(1);

// Opus at 14 kbit/s through the ffmpeg command-line tool, decoded at 12 kHz
// and measured at the DSS decoder's clock like our output.
void BM_Opus14kQuality(benchmark::State& state) {
    const std::vector<int16_t>& pcm = speech();
    if (pcm.empty()) return state.SkipWithError("espeak-ng or sox missing");
    Scratch tmp;
    write_raw(tmp.path("in.raw"), pcm);
    sp_quality::Quality q;
    for (auto _ : state) {
        if (!run("ffmpeg -y -f s16le -ar 12000 -ac 1 -i '" + tmp.path("in.raw") + "' -c:a libopus -b:a 14k '" +
                 tmp.path("o.ogg") + "'") ||
            !run("ffmpeg -y -i '" + tmp.path("o.ogg") + "' -f s16le -ar 12000 -ac 1 '" + tmp.path("o.raw") + "'"))
            return state.SkipWithError("ffmpeg with libopus missing");
        const std::vector<float> decoded = sp_quality::resample(sp_quality::to_float(read_raw(tmp.path("o.raw"))), 12, 11);
        const std::vector<float> ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11);
        // ffmpeg removes Opus's pre-skip; align what remains.
        const int lag = best_lag(ref, decoded, 40);
        std::vector<float> aligned(ref.size(), 0.0f);
        for (size_t i = 0; i < ref.size(); ++i) {
            const long j = static_cast<long>(i) + lag;
            if (j >= 0 && j < static_cast<long>(decoded.size())) aligned[i] = decoded[static_cast<size_t>(j)];
        }
        q = sp_quality::measure(ref, aligned, 11000);
    }
    report(state, q);
    if (our_lsd > 0 && q.lsd > 0) state.counters["sp_lsd_ratio"] = our_lsd / q.lsd;
}
BENCHMARK(BM_Opus14kQuality)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
