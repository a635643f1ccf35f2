// Whole conversions of one minute and one hour of audio by `orvkt convert`
// (the exports as a user runs them), each a process of its own so that its
// wall time and peak resident memory are its alone, against the peers doing
// the same job in the same run:
//   DSS SP -> WAV 16-bit 12000       vs  ffmpeg -i x.dss x.wav (11025, its native rate)
//   DSS SP -> WAV 16-bit 16000       vs  ffmpeg -i x.dss -ar 16000 x.wav
//   WAV 44100 stereo -> WAV 8000 mono vs  sox x.wav -c 1 -r 8000 y.wav
//   WAV 16000 -> DS2 QP, and back to WAV 16000
// Counters: seconds (wall), peak_rss_MB, and for the library the ratio of
// its time to the peer's (x_peer). Inputs are made once per run (speech-like
// signal; the hour-long DSS file repeats the frames of one minute) and
// removed when the run ends.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Speech-like test signal: harmonics of a gliding pitch, syllable-rate
// loudness, a little noise.
std::vector<int16_t> speechlike(uint32_t rate, uint32_t seconds, double pan = 0) {
    std::vector<int16_t> s(static_cast<size_t>(rate) * seconds);
    uint32_t noise = 4711;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f0 = 130.0 + 25.0 * std::sin(2 * M_PI * 0.6 * t + pan);
        const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 3.1 * t);
        double v = 0;
        for (int h = 1; h <= 10; ++h) v += std::sin(2 * M_PI * f0 * h * t) / h;
        noise = noise * 1664525u + 1013904223u;
        v = envelope * 3000.0 * v + static_cast<double>(static_cast<int32_t>(noise >> 16) - 32768) / 128.0;
        s[i] = static_cast<int16_t>(std::lround(std::clamp(v, -32767.0, 32767.0)));
    }
    return s;
}

void put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A PCM WAV file whose data is `minute` repeated `minutes` times, written in
// pieces so that the hour never sits in memory.
void write_wav(const std::string& path, const std::vector<int16_t>& minute, uint32_t rate, uint16_t channels,
               uint32_t minutes) {
    const uint32_t data = static_cast<uint32_t>(minute.size() * 2) * minutes;
    Bytes h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    put32(h, 36 + data);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(h, 16);
    put16(h, 1);
    put16(h, channels);
    put32(h, rate);
    put32(h, rate * 2 * channels);
    put16(h, static_cast<uint16_t>(2 * channels));
    put16(h, 16);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    put32(h, data);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(h.data(), 1, h.size(), f);
    for (uint32_t m = 0; m < minutes; ++m) std::fwrite(minute.data(), 2, minute.size(), f);
    std::fclose(f);
}

std::vector<int16_t> interleave(const std::vector<int16_t>& l, const std::vector<int16_t>& r) {
    std::vector<int16_t> s(l.size() * 2);
    for (size_t i = 0; i < l.size(); ++i) {
        s[2 * i] = l[i];
        s[2 * i + 1] = r[i];
    }
    return s;
}

struct Inputs {
    std::string dir;
    std::map<uint32_t, std::string> dss_sp, wav_stereo, wav_16k;  // by minutes
    std::vector<std::string> made;
    ~Inputs() {
        for (const auto& n : made) std::remove(n.c_str());
        if (!dir.empty()) rmdir(dir.c_str());
    }
    std::string path(const std::string& name) {
        made.push_back(dir + "/" + name);
        return made.back();
    }
};

// The hour-long SP file: the frames of one encoded minute, 60 times, packed
// through the DSS file object.
void repeat_dss(const std::string& minute_file, const std::string& out, uint32_t minutes) {
    std::vector<uint8_t> blocks;
    {
        CDssFile in(false);
        if (in.create_file(minute_file.c_str(), vkt::platform::GENERIC_READ, vkt::platform::FILE_SHARE_READ,
                           vkt::platform::OPEN_EXISTING, true) != 0)
            return;
        uint8_t block[DSS_MAX_CODEC_BLOCK];
        uint32_t size = 0, frame = 0;
        uint8_t id = 0;
        while (in.transfer_from_file_to_buffer(block, &size, &frame, &id) == 0) blocks.insert(blocks.end(), block, block + size);
    }
    CDssFile dss(false);
    dss.m_wNrOfHeaders = 2;
    dss.m_byCompressionId = 0;
    if (dss.create_file(out.c_str(), vkt::platform::GENERIC_READ | vkt::platform::GENERIC_WRITE, 0,
                        vkt::platform::CREATE_ALWAYS, false) != 0)
        return;
    std::memcpy(dss.m_pDssFileHeader.get() + 50, "240611093000", 12);
    for (uint32_t m = 0; m < minutes; ++m)
        dss.transfer_from_buffer_to_file(blocks.data(), static_cast<uint32_t>(blocks.size()));
    dss.flush_out_block();
    dss.closing_work();
}

Inputs& inputs() {
    static Inputs in = [] {
        Inputs i;
        char pattern[] = "/tmp/orvkt-conv-bench-XXXXXX";
        i.dir = mkdtemp(pattern);
        const auto sp12 = speechlike(12000, 60);
        const std::string wav12 = i.path("minute12k.wav");
        write_wav(wav12, sp12, 12000, 1, 1);
        const std::string one = i.path("sp1.dss");
        WAVEFORMATEX sp{WAVE_FORMAT_DSS_SP, 1, 12000, 1750, 42, 0, 0};
        ORVKTWAVToDSS(wav12.c_str(), one.c_str(), &sp, 2, nullptr, 0);
        i.dss_sp[1] = one;
        i.dss_sp[60] = i.path("sp60.dss");
        repeat_dss(one, i.dss_sp[60], 60);
        const auto stereo = interleave(speechlike(44100, 60), speechlike(44100, 60, 1.0));
        const auto mono16 = speechlike(16000, 60);
        for (uint32_t minutes : {1u, 60u}) {
            i.wav_stereo[minutes] = i.path("stereo" + std::to_string(minutes) + ".wav");
            write_wav(i.wav_stereo[minutes], stereo, 44100, 2, minutes);
            i.wav_16k[minutes] = i.path("mono16k" + std::to_string(minutes) + ".wav");
            write_wav(i.wav_16k[minutes], mono16, 16000, 1, minutes);
        }
        return i;
    }();
    return in;
}

struct Run {
    double seconds = 0;
    double peak_mb = 0;
    int status = -1;
};

// Runs `work` in a child process; its exit status is the work's result.
Run in_child(const std::function<int()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) _exit(work() & 0xFF);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Run command(std::vector<std::string> args) {
    return in_child([&] {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execvp(argv[0], argv.data());
        return 127;
    });
}

std::map<std::string, double>& peer_seconds() {
    static std::map<std::string, double> m;
    return m;
}

void report(benchmark::State& state, const Run& r, const std::string& peer_key = "") {
    if (r.status != 0) state.SkipWithError(("exit status " + std::to_string(r.status)).c_str());
    state.SetIterationTime(r.seconds);
    state.counters["seconds"] = r.seconds;
    state.counters["peak_rss_MB"] = r.peak_mb;
    if (!peer_key.empty()) {
        const auto p = peer_seconds().find(peer_key);
        if (p != peer_seconds().end() && p->second > 0) state.counters["x_peer"] = r.seconds / p->second;
    }
}

// Arguments: minutes, and the PCM rate (0: the decoder's own).
std::string dss_key(benchmark::State& state) {
    return "dss" + std::to_string(state.range(0)) + "@" + std::to_string(state.range(1));
}

void BM_FfmpegDssToWav(benchmark::State& state) {
    const uint32_t minutes = static_cast<uint32_t>(state.range(0));
    const std::string rate = std::to_string(state.range(1));
    Inputs& in = inputs();
    const std::string out = in.path("ffmpeg" + std::to_string(minutes) + "_" + rate + ".wav");
    for (auto _ : state) {
        std::vector<std::string> args = {"ffmpeg", "-nostdin", "-y", "-v", "error", "-i", in.dss_sp[minutes]};
        if (state.range(1) != 0) args.insert(args.end(), {"-ar", rate});
        args.push_back(out);
        const Run r = command(args);
        peer_seconds()[dss_key(state)] = r.seconds;
        report(state, r);
        std::remove(out.c_str());
    }
}

void BM_DssToWav(benchmark::State& state) {
    const uint32_t minutes = static_cast<uint32_t>(state.range(0));
    const std::string rate = std::to_string(state.range(1));
    Inputs& in = inputs();
    const std::string out = in.path("ours" + std::to_string(minutes) + "_" + rate + ".wav");
    for (auto _ : state) {
        // Standard play decodes to 16-bit PCM at 12000 by default.
        std::vector<std::string> args = {ORVKT_CLI_PATH, "-q", "convert", in.dss_sp[minutes], out};
        if (state.range(1) != 0) args.insert(args.end(), {"--rate", rate});
        const Run r = command(args);
        report(state, r, dss_key(state));
        std::remove(out.c_str());
    }
}

void BM_SoxStereoToMono8k(benchmark::State& state) {
    const uint32_t minutes = static_cast<uint32_t>(state.range(0));
    Inputs& in = inputs();
    const std::string out = in.path("sox8k" + std::to_string(minutes) + ".wav");
    for (auto _ : state) {
        const Run r = command({"sox", in.wav_stereo[minutes], "-c", "1", "-r", "8000", out});
        peer_seconds()["wav" + std::to_string(minutes)] = r.seconds;
        report(state, r);
        std::remove(out.c_str());
    }
}

void BM_WavStereoToMono8k(benchmark::State& state) {
    const uint32_t minutes = static_cast<uint32_t>(state.range(0));
    Inputs& in = inputs();
    const std::string out = in.path("ours8k" + std::to_string(minutes) + ".wav");
    for (auto _ : state) {
        const Run r = command({ORVKT_CLI_PATH, "-q", "convert", in.wav_stereo[minutes], out, "--rate", "8000"});
        report(state, r, "wav" + std::to_string(minutes));
        std::remove(out.c_str());
    }
}

void BM_WavToQpAndBack(benchmark::State& state) {
    const uint32_t minutes = static_cast<uint32_t>(state.range(0));
    Inputs& in = inputs();
    const std::string ds2 = in.path("qp" + std::to_string(minutes) + ".ds2");
    const std::string back = in.path("qpback" + std::to_string(minutes) + ".wav");
    for (auto _ : state) {
        const Run there = command({ORVKT_CLI_PATH, "-q", "convert", in.wav_16k[minutes], ds2, "--format", "qp"});
        const Run again = command({ORVKT_CLI_PATH, "-q", "convert", ds2, back});
        Run both;
        both.seconds = there.seconds + again.seconds;
        both.peak_mb = std::max(there.peak_mb, again.peak_mb);
        both.status = there.status != 0 ? there.status : again.status;
        report(state, both);
        state.counters["encode_seconds"] = there.seconds;
        state.counters["decode_seconds"] = again.seconds;
        std::remove(ds2.c_str());
        std::remove(back.c_str());
    }
}

}  // namespace

// Peers first, so that the library's runs can report the ratio. Argument:
// minutes of audio.
BENCHMARK(BM_FfmpegDssToWav)->Args({1, 0})->Args({60, 0})->Args({60, 16000})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_DssToWav)->Args({1, 0})->Args({60, 0})->Args({60, 16000})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SoxStereoToMono8k)->Arg(1)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WavStereoToMono8k)->Arg(1)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_WavToQpAndBack)->Arg(1)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
