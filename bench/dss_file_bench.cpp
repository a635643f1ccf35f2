// DSS files of 100 MB: encrypting and decrypting a DS2 file through the
// exports, reading every frame of a DSS file through CDssFile, and `cp` of
// the same file timed in the same run as the yardstick. Each benchmark
// reports MB/s and its time as a multiple of cp's ("x_cp").
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"

namespace {

constexpr uint64_t kTargetBytes = 100ull << 20;
const char* const kPassword = "bench-pass";

std::string scratch(const char* name) { return std::string("/tmp/orvkt_bench_") + name; }

// A recording of about 100 MB written through CDssFile: random SP frames
// (identifier 0), three header blocks.
void write_recording(const std::string& path) {
    CDssFile dss;
    dss.m_wNrOfHeaders = 3;
    dss.m_byCompressionId = 0;
    if (dss.create_file(path.c_str(), vkt::platform::GENERIC_READ | vkt::platform::GENERIC_WRITE, 0,
                        vkt::platform::CREATE_ALWAYS, false) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::vector<uint8_t> chunk(42 * 4096);
    std::mt19937 random(7);
    for (auto& b : chunk) b = static_cast<uint8_t>(random());
    const uint64_t frames = kTargetBytes / 512 * 506 / 41;
    for (uint64_t done = 0; done < frames; done += 4096)
        dss.transfer_from_buffer_to_file(chunk.data(), static_cast<uint32_t>(chunk.size()));
    dss.flush_out_block();
    dss.closing_work();
}

struct Files {
    std::string ds2 = scratch("100mb.ds2");
    std::string dss = scratch("100mb.dss");
    std::string encrypted = scratch("100mb_enc.ds2");
    uint64_t size = 0;
    Files() {
        write_recording(ds2);
        write_recording(dss);
        if (ORVKTEncryptDSSFile(ds2.c_str(), encrypted.c_str(), kPassword) != 0) std::exit(1);
        FILE* f = std::fopen(ds2.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        size = static_cast<uint64_t>(std::ftell(f));
        std::fclose(f);
    }
    ~Files() {
        for (const auto& p : {ds2, dss, encrypted, scratch("out_enc.ds2"), scratch("out_dec.ds2"), scratch("cp.ds2")})
            std::remove(p.c_str());
    }
};

Files& files() {
    static Files f;
    return f;
}

double g_cp_seconds = 0;

template <typename Work>
void run_timed(benchmark::State& state, Work work, bool is_cp = false) {
    Files& f = files();
    double total = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        work(f);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    const double mean = total / static_cast<double>(state.iterations());
    if (is_cp) g_cp_seconds = mean;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.size));
    if (g_cp_seconds > 0) state.counters["x_cp"] = mean / g_cp_seconds;
}

void BM_Cp(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            std::string command = "cp " + f.ds2 + " " + scratch("cp.ds2");
            if (std::system(command.c_str()) != 0) std::exit(1);
        },
        true);
}

void BM_EncryptDs2(benchmark::State& state) {
    run_timed(state, [](Files& f) {
        if (ORVKTEncryptDSSFile(f.ds2.c_str(), scratch("out_enc.ds2").c_str(), kPassword) != 0) std::exit(1);
    });
}

void BM_DecryptDs2(benchmark::State& state) {
    run_timed(state, [](Files& f) {
        if (ORVKTDecryptDSSFile(f.encrypted.c_str(), scratch("out_dec.ds2").c_str(), kPassword) != 0) std::exit(1);
    });
}

void BM_ReadAllFramesDss(benchmark::State& state) {
    run_timed(state, [](Files& f) {
        CDssFile dss;
        if (dss.create_file(f.dss.c_str(), vkt::platform::GENERIC_READ, vkt::platform::FILE_SHARE_READ,
                            vkt::platform::OPEN_EXISTING, true) != 0)
            std::exit(1);
        uint8_t buffer[DSS_MAX_CODEC_BLOCK];
        uint32_t size = 0, frame_size = 0;
        uint8_t id = 0;
        uint64_t frames = 0;
        while (dss.transfer_from_file_to_buffer(buffer, &size, &frame_size, &id) == 0) ++frames;
        if (frames != dss.m_dwTotalNrOfFrames) std::exit(1);
        benchmark::DoNotOptimize(frames);
    });
}

// cp first, so that the others can state their time as a multiple of it.
BENCHMARK(BM_Cp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_EncryptDs2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DecryptDs2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReadAllFramesDss)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
