// One minute of 16-bit mono audio through the rate converter, against sox
// doing the same rate change on the same file in the same run
// (`sox in.wav -r R out.wav`, which includes starting sox and its file I/O).
// Counters: samples/s of input, wall and CPU milliseconds per minute of
// audio (mean, and the least CPU time of a run, which other work on a shared
// machine disturbs least), and for the library the ratios to sox's figures.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "afc/AFCStream.h"

namespace {

constexpr int kSeconds = 60;

struct Pair {
    uint32_t from, to;
};
constexpr Pair kPairs[] = {{44100, 8000}, {8000, 11025}, {16000, 8000}, {12000, 8000},
                           {22050, 16000}, {8000, 44100}, {8000, 16000}};

// Speech-like test signal: a few harmonics with a slow vibrato and a little
// noise, at about -10 dBFS.
std::vector<int16_t> make_signal(uint32_t rate) {
    std::vector<int16_t> s(static_cast<size_t>(rate) * kSeconds);
    uint32_t noise = 12345;
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f0 = 140.0 + 20.0 * std::sin(2 * M_PI * 0.7 * t);
        double v = 0;
        for (int h = 1; h <= 12; ++h) v += std::sin(2 * M_PI * f0 * h * t) / h;
        noise = noise * 1664525u + 1013904223u;
        v = 3500.0 * v + static_cast<double>(static_cast<int32_t>(noise >> 16) - 32768) / 64.0;
        s[i] = static_cast<int16_t>(std::lround(std::clamp(v, -32767.0, 32767.0)));
    }
    return s;
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Input files written for sox, removed when the run ends.
struct InputFiles {
    std::vector<std::string> names;
    ~InputFiles() {
        for (const auto& n : names) std::remove(n.c_str());
    }
};

std::string wav_file(uint32_t rate, const std::vector<int16_t>& samples) {
    static InputFiles files;
    const std::string name = "/tmp/orvkt_bench_afc_" + std::to_string(rate) + "_" + std::to_string(getpid()) + ".wav";
    files.names.push_back(name);
    std::vector<uint8_t> b;
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put32(b, 1u | (1u << 16));  // PCM, mono
    put32(b, rate);
    put32(b, rate * 2);
    put32(b, 2u | (16u << 16));  // block 2, 16 bits
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, data);
    const auto* p = reinterpret_cast<const uint8_t*>(samples.data());
    b.insert(b.end(), p, p + data);
    FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    return name;
}

const std::vector<int16_t>& signal_at(uint32_t rate) {
    static std::map<uint32_t, std::vector<int16_t>> cache;
    auto it = cache.find(rate);
    if (it == cache.end()) it = cache.emplace(rate, make_signal(rate)).first;
    return it->second;
}

WAVEFORMATEX pcm16(uint32_t rate) { return {1, 1, rate, rate * 2, 2, 16, 0}; }

// Wall and CPU seconds per run of sox on the pair, filled by the sox
// benchmarks. The machine may be shared, so CPU time is the fairer figure.
struct Times {
    double wall = 0, cpu = 0, cpuMin = 0;
};
std::map<std::pair<uint32_t, uint32_t>, Times>& sox_times() {
    static std::map<std::pair<uint32_t, uint32_t>, Times> t;
    return t;
}

double process_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// Converts the whole minute in one-second calls, as the WAV converter does.
void BM_AfcConvert(benchmark::State& state, Pair pair) {
    const auto& in = signal_at(pair.from);
    const uint32_t chunk = pair.from * 2;
    std::vector<uint8_t> out;
    double seconds = 0, cpu = 0, cpuMin = 1e9;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = process_cpu_seconds();
        AFC_HANDLE h = nullptr;
        const WAVEFORMATEX s = pcm16(pair.from), d = pcm16(pair.to);
        if (AFC_streamOpen(&h, &s, &d) != 0) {
            state.SkipWithError("open failed");
            return;
        }
        uint32_t cap = 0;
        AFC_streamDestLength(&h, chunk, &cap);
        out.resize(cap);
        const auto* bytes = reinterpret_cast<const uint8_t*>(in.data());
        const size_t total = in.size() * 2;
        for (size_t off = 0; off < total; off += chunk) {
            uint32_t taken = 0, written = 0;
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, total - off));
            if (AFC_streamConvert(&h, bytes + off, n, &taken, out.data(), cap, &written) != 0) {
                state.SkipWithError("convert failed");
                return;
            }
            benchmark::DoNotOptimize(out.data());
        }
        AFC_streamClose(&h);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double used = process_cpu_seconds() - cpuStart;
        cpu += used;
        cpuMin = std::min(cpuMin, used);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    const double n = static_cast<double>(state.iterations());
    state.counters["wall_ms"] = seconds / n * 1000.0;
    state.counters["cpu_ms"] = cpu / n * 1000.0;
    state.counters["cpu_ms_min"] = cpuMin * 1000.0;
    const auto sox = sox_times().find({pair.from, pair.to});
    if (sox != sox_times().end()) {
        state.counters["x_sox_wall"] = (seconds / n) / sox->second.wall;
        state.counters["x_sox_cpu"] = (cpu / n) / sox->second.cpu;
        state.counters["x_sox_cpu_min"] = cpuMin / sox->second.cpuMin;
    }
}

void BM_SoxConvert(benchmark::State& state, Pair pair) {
    const std::string in = wav_file(pair.from, signal_at(pair.from));
    const std::string out = "/tmp/orvkt_bench_afc_out_" + std::to_string(getpid()) + ".wav";
    const std::string rate = std::to_string(pair.to);
    double seconds = 0, cpu = 0, cpuMin = 1e9;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execlp("sox", "sox", in.c_str(), "-r", rate.c_str(), out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        const double used = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        cpu += used;
        cpuMin = std::min(cpuMin, used);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("sox failed or is missing");
            return;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double n = static_cast<double>(state.iterations());
    sox_times()[{pair.from, pair.to}] = {seconds / n, cpu / n, cpuMin};
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * signal_at(pair.from).size()));
    state.counters["wall_ms"] = seconds / n * 1000.0;
    state.counters["cpu_ms"] = cpu / n * 1000.0;
    state.counters["cpu_ms_min"] = cpuMin * 1000.0;
    std::remove(out.c_str());
}

// sox first for each pair, so that the library's run can report the ratio.
const bool registered = [] {
    for (const Pair& p : kPairs) {
        const std::string name = std::to_string(p.from) + "_to_" + std::to_string(p.to);
        benchmark::RegisterBenchmark(("BM_SoxConvert/" + name).c_str(), BM_SoxConvert, p)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(1.0);
        benchmark::RegisterBenchmark(("BM_AfcConvert/" + name).c_str(), BM_AfcConvert, p)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(1.0);
    }
    return true;
}();

}  // namespace
