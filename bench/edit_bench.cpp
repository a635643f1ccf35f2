// Editing a one-hour standard-play recording (150000 frames, about 6 MB):
// splitting it into 60 pieces of one minute, joining the pieces back,
// repairing its index tables and making a verified copy, each timed against
// `cp` of the same file in the same run ("x_cp": time as a multiple of cp's;
// the page cache is warm after the first iteration).
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"

namespace {

constexpr uint32_t kFrames = 150000;  // 3600 s of 24 ms frames
constexpr uint32_t kPieces = 60;

const std::string kDir = "/tmp/orvkt_bench_edit";
std::string scratch(const std::string& name) { return kDir + "/" + name; }

void fail(const char* what) {
    std::fprintf(stderr, "edit_bench: %s failed\n", what);
    std::exit(1);
}

// The recording: random SP frames, three header blocks and 20 instruction
// markers, one every three minutes.
void write_recording(const std::string& path) {
    CDssFile dss;
    dss.m_wNrOfHeaders = 3;
    dss.m_byCompressionId = 0;
    if (dss.create_file(path.c_str(), vkt::platform::GENERIC_READ | vkt::platform::GENERIC_WRITE, 0,
                        vkt::platform::CREATE_ALWAYS, false) != 0)
        fail("writing the recording");
    uint8_t* markers = dss.m_pDssFileHeader_3.get();
    for (uint32_t i = 0; i < 20; ++i) {
        const uint32_t start = i * 180000 + 5000, end = start + 4000;
        for (int b = 0; b < 4; ++b) {
            markers[8 * i + b] = static_cast<uint8_t>(start >> (8 * b));
            markers[8 * i + 4 + b] = static_cast<uint8_t>(end >> (8 * b));
        }
    }
    dss.write_fileheader(3);
    std::vector<uint8_t> chunk(42 * 1000);
    std::mt19937 random(11);
    for (uint32_t done = 0; done < kFrames; done += 1000) {
        for (auto& b : chunk) b = static_cast<uint8_t>(random());
        for (size_t i = 41; i < chunk.size(); i += 42) chunk[i] = 0;
        dss.transfer_from_buffer_to_file(chunk.data(), static_cast<uint32_t>(chunk.size()));
    }
    dss.flush_out_block();
    if (dss.closing_work() != 0) fail("closing the recording");
}

std::string piece(uint32_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "piece%02u.dss", n);
    return scratch(name);
}

struct Files {
    std::string source = scratch("hour.dss");
    std::string pieces_list;
    uint64_t size = 0;
    Files() {
        ::mkdir(kDir.c_str(), 0755);
        write_recording(source);
        struct stat st{};
        ::stat(source.c_str(), &st);
        size = static_cast<uint64_t>(st.st_size);
        for (uint32_t n = 1; n <= kPieces; ++n) pieces_list += piece(n) + "?";
    }
    ~Files() {
        for (uint32_t n = 1; n <= kPieces + 1; ++n) std::remove(piece(n).c_str());
        for (const char* name : {"hour.dss", "cp.dss", "joined.dss", "repaired.dss", "copy.dss"})
            std::remove(scratch(name).c_str());
        ::rmdir(kDir.c_str());
    }
};

Files& files() {
    static Files f;
    return f;
}

double g_cp_seconds = 0;

// Times work() per iteration; prepare() runs untimed before each.
template <typename Work, typename Prepare>
void run_timed(benchmark::State& state, Work work, Prepare prepare, bool is_cp = false) {
    Files& f = files();
    double total = 0;
    for (auto _ : state) {
        prepare(f);
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

// Every operation writes new files, as cp does below: replacing a file by
// truncating it costs extra on some file systems (ext4 flushes such files
// on close).
void remove_pieces(Files&) {
    for (uint32_t n = 1; n <= kPieces; ++n) std::remove(piece(n).c_str());
}

void BM_EditCp(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            const std::string command = "cp " + f.source + " " + scratch("cp.dss");
            if (std::system(command.c_str()) != 0) fail("cp");
        },
        [](Files&) { std::remove(scratch("cp.dss").c_str()); }, true);
}

void BM_SplitInto60Pieces(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            uint32_t created = 0;
            if (ORVKTSplitDSSFile(f.source.c_str(), kDir.c_str(), "piece%02d.dss", nullptr, 60, 0, 0xFFFFFFFF,
                                  &created, nullptr, 0) != 0 ||
                created != kPieces)
                fail("split");
        },
        remove_pieces);
}

void BM_Join60Pieces(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            if (ORVKTJoinDSS(f.pieces_list.c_str(), scratch("joined.dss").c_str(), nullptr, 0, 0, 100) != 0)
                fail("join");
        },
        [](Files& f) {
            std::remove(scratch("joined.dss").c_str());
            // The pieces exist once the split has run.
            struct stat st{};
            if (::stat(piece(kPieces).c_str(), &st) != 0 &&
                ORVKTSplitDSSFile(f.source.c_str(), kDir.c_str(), "piece%02d.dss", nullptr, 60, 0, 0xFFFFFFFF,
                                  nullptr, nullptr, 0) != 0)
                fail("split before join");
        });
}

void BM_RepairIndex(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            if (ORVKTRepairIndexMarkers(f.source.c_str(), scratch("repaired.dss").c_str()) != 0) fail("repair");
        },
        [](Files&) { std::remove(scratch("repaired.dss").c_str()); });
}

void BM_VerifiedCopy(benchmark::State& state) {
    run_timed(
        state,
        [](Files& f) {
            if (ORVKTCopyFile(f.source.c_str(), scratch("copy.dss").c_str(), 0) != 0) fail("copy");
        },
        [](Files&) { std::remove(scratch("copy.dss").c_str()); });
}

// cp first, so that the others can state their time as a multiple of it.
BENCHMARK(BM_EditCp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SplitInto60Pieces)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Join60Pieces)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RepairIndex)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_VerifiedCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
