// Rate changes of a ten-minute 16-bit mono WAV file, whole file to whole
// file, against sox and ffmpeg doing the same job in the same run:
//   ours     ORVKTWAVToWAV in a child process forked from this one, so that
//            it pays for reading and writing the files but not for loading
//            the program (an application calls the library in-process)
//   scalar   the same with the vector lanes switched off
//   cli      `orvkt convert in.wav out.wav --rate R`, a process of its own
//   sox      `sox in.wav -r R out.wav`
//   ffmpeg   `ffmpeg -i in.wav -ar R out.wav`
//   lead     the recursion of the chain's stage with the most steps alone,
//            on ten minutes of its input held in memory: every step of it
//            needs the one before, so no order of the chain's work can
//            take less time on one core
// Each benchmark runs the five in turn, kRounds times, so that they share
// the machine's load alike; counters give the median and the least wall
// seconds of each, the median CPU seconds (user + system) of ours, sox and
// ffmpeg, and our ratios to sox and ffmpeg. load1 is the one-minute load
// average when the benchmark started.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "afc/filter_kernel.h"
#include "afc/rate_stages.h"

namespace {

constexpr int kSeconds = 600;
constexpr int kRounds = 5;

struct Pair {
    uint32_t from, to;
};
constexpr Pair kPairs[] = {{22050, 8000},  {44100, 8000}, {8000, 11025}, {12000, 16000}, {8000, 44100},
                           {16000, 8000},  {12000, 8000}, {22050, 16000}, {8000, 16000}};

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

// Files of the run in a folder of its own, removed when the run ends.
struct Files {
    std::string dir;
    std::map<uint32_t, std::string> inputs;  // by rate
    ~Files() {
        for (const auto& [rate, name] : inputs) std::remove(name.c_str());
        if (!dir.empty()) rmdir(dir.c_str());
    }
    std::string input(uint32_t rate) {
        auto it = inputs.find(rate);
        if (it != inputs.end()) return it->second;
        const std::string name = dir + "/in" + std::to_string(rate) + ".wav";
        const std::vector<int16_t> samples = make_signal(rate);
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
        if (f) {
            std::fwrite(b.data(), 1, b.size(), f);
            std::fclose(f);
        }
        inputs[rate] = name;
        return name;
    }
    std::string output() const { return dir + "/out.wav"; }
};

Files& files() {
    static Files f = [] {
        Files made;
        char pattern[] = "/tmp/orvkt-afc-bench-XXXXXX";
        if (mkdtemp(pattern)) made.dir = pattern;
        return made;
    }();
    return f;
}

struct Run {
    double wall = 0, cpu = 0;
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
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
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

Run library(const std::string& in, const std::string& out, uint32_t rate, bool vectors) {
    return in_child([&] {
        afc_kernel::UseLanes(vectors ? afc_kernel::Lanes::kAvx512 : afc_kernel::Lanes::kScalar);
        WAVEFORMATEX f{};
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 1;
        f.nSamplesPerSec = rate;
        f.nAvgBytesPerSec = rate * 2;
        f.nBlockAlign = 2;
        f.wBitsPerSample = 16;
        return static_cast<int>(ORVKTWAVToWAV(in.c_str(), out.c_str(), &f, nullptr, 0));
    });
}

// The stage of the chain for from -> to with the most steps (input rate x
// its zero-stuffing factor, which is the stage's common rate), as a
// converter of its own.
SRSamplingRateConverterPars lead_stage(const Pair& pair) {
    const SRMultiStageSRConverter chain(SRSamplingRateConverterPars(pair.from, pair.to, 16));
    double common = 0, from = pair.from, to = pair.to;
    for (const auto& stage : chain.StageConverters()) {
        if (stage->CommonRate() <= common) continue;
        common = stage->CommonRate();
        from = common / stage->UpFactor();
        to = common / stage->DownFactor();
    }
    return SRSamplingRateConverterPars(from, to, 16);
}

// Runs the lead stage's recursion alone over `samples` (its input rate,
// kSeconds long), in a child process like the library: the same steps in
// the same single-precision operations, with nothing beside them, no
// output kept and no file.
Run lead_alone(const SRSamplingRateConverterPars& pars, const std::vector<int16_t>& samples) {
    return in_child([&] {
        SRSimpleSRConverter stage(pars);
        SRFilterTask t;
        if (!stage.MakeFilterTask(t)) return 1;
        const float a2 = t.a[2], a3 = t.a[3], a4 = t.a[4], a5 = t.a[5], a6 = t.a[6], na7 = -t.a[7];
        const float b1 = t.b[1], b2 = t.b[2], b3 = t.b[3], b4 = t.b[4], b5 = t.b[5], b6 = t.b[6], b7 = t.b[7];
        float s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, s6 = 0, sum = 0;
        for (const int16_t sample : samples) {
            const auto x = static_cast<float>(sample);
            float y = b1 * x + s1;
            s1 = (b2 * x - a2 * y) + s2;
            s2 = (b3 * x - a3 * y) + s3;
            s3 = (b4 * x - a4 * y) + s4;
            s4 = (b5 * x - a5 * y) + s5;
            s5 = (b6 * x - a6 * y) + s6;
            s6 = b7 * x + na7 * y;
            for (uint32_t j = 1; j < t.L; ++j) {
                y = s1;
                s1 = s2 - a2 * y;
                s2 = s3 - a3 * y;
                s3 = s4 - a4 * y;
                s4 = s5 - a5 * y;
                s5 = s6 - a6 * y;
                s6 = na7 * y;
            }
            sum += y;
        }
        benchmark::DoNotOptimize(sum);
        return 0;
    });
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void BM_RateChange(benchmark::State& state, Pair pair) {
    double load[1] = {0};
    getloadavg(load, 1);
    Files& f = files();
    const std::string in = f.input(pair.from), out = f.output();
    const std::string rate = std::to_string(pair.to);
    const SRSamplingRateConverterPars leadPars = lead_stage(pair);
    std::vector<int16_t> leadInput = make_signal(static_cast<uint32_t>(leadPars.sourceRate));
    enum { kOurs, kScalar, kCli, kSox, kFfmpeg, kLead, kTools };
    const char* const names[kTools] = {"ours", "scalar", "cli", "sox", "ffmpeg", "lead"};
    std::vector<double> wall[kTools], cpu[kTools];
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            for (int tool = 0; tool < kTools; ++tool) {
                Run r;
                switch (tool) {
                    case kOurs:
                        r = library(in, out, pair.to, true);
                        break;
                    case kScalar:
                        r = library(in, out, pair.to, false);
                        break;
                    case kCli:
                        r = command({ORVKT_CLI_PATH, "-q", "convert", in, out, "--rate", rate});
                        break;
                    case kSox:
                        r = command({"sox", in, "-r", rate, out});
                        break;
                    case kLead:
                        r = lead_alone(leadPars, leadInput);
                        break;
                    default:
                        r = command({"ffmpeg", "-nostdin", "-y", "-v", "error", "-i", in, "-ar", rate, out});
                        break;
                }
                std::remove(out.c_str());
                if (r.status != 0) {
                    state.SkipWithError((std::string(names[tool]) + " failed or is missing").c_str());
                    return;
                }
                wall[tool].push_back(r.wall);
                cpu[tool].push_back(r.cpu);
            }
        }
        state.SetIterationTime(median(wall[kOurs]));
    }
    for (int tool = 0; tool < kTools; ++tool) {
        state.counters[std::string(names[tool]) + "_s"] = median(wall[tool]);
        state.counters[std::string(names[tool]) + "_min_s"] = least(wall[tool]);
    }
    for (int tool : {kOurs, kSox, kFfmpeg}) state.counters[std::string(names[tool]) + "_cpu_s"] = median(cpu[tool]);
    state.counters["x_sox"] = median(wall[kOurs]) / median(wall[kSox]);
    state.counters["x_sox_min"] = least(wall[kOurs]) / least(wall[kSox]);
    state.counters["x_sox_cpu"] = median(cpu[kOurs]) / median(cpu[kSox]);
    state.counters["x_ffmpeg"] = median(wall[kOurs]) / median(wall[kFfmpeg]);
    state.counters["x_sox_lead"] = median(wall[kLead]) / median(wall[kSox]);
    state.counters["load1"] = load[0];
}

const bool registered = [] {
    for (const Pair& p : kPairs) {
        const std::string name = "BM_RateChange/" + std::to_string(p.from) + "_to_" + std::to_string(p.to);
        benchmark::RegisterBenchmark(name.c_str(), BM_RateChange, p)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    return true;
}();

}  // namespace
