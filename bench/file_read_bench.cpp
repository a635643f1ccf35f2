// Walking a file in 512-byte blocks through the traced file wrappers, the
// way the DSS reader does, against plain read(2) calls of the same size.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dss/traced_file_io.h"

namespace {

const std::string& bench_file() {
    static std::string name = [] {
        std::string n = "/tmp/orvkt_bench_blocks.bin";
        std::vector<uint8_t> data(32 << 20, 0x5A);
        FILE* f = std::fopen(n.c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        return n;
    }();
    return name;
}

void BM_WrapperBlocks(benchmark::State& state) {
    const std::string& name = bench_file();
    uint8_t block[512];
    for (auto _ : state) {
        uint32_t err;
        KRVHANDLE h = KRVDSS_open_file(name.c_str(), &err, vkt::platform::GENERIC_READ, 1, vkt::platform::OPEN_EXISTING);
        uint32_t got = 0;
        size_t total = 0;
        while (KRVDSS_read_file(h, block, 512, &got) == 0 && got > 0) total += got;
        KRVDSS_close_file(&h);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * (32 << 20));
}
BENCHMARK(BM_WrapperBlocks)->Unit(benchmark::kMillisecond);

void BM_SyscallBlocks(benchmark::State& state) {
    const std::string& name = bench_file();
    uint8_t block[512];
    for (auto _ : state) {
        int fd = ::open(name.c_str(), O_RDONLY);
        size_t total = 0;
        ssize_t got;
        while ((got = ::read(fd, block, 512)) > 0) total += static_cast<size_t>(got);
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * (32 << 20));
}
BENCHMARK(BM_SyscallBlocks)->Unit(benchmark::kMillisecond);

}  // namespace
