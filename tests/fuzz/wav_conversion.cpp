// Fuzz target: the bytes as a WAV source of WAVToWAV and WAVToDSS (format change
// and packing); outputs and temporary files are removed after each run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "OrvaneVktapi.h"

namespace {

// A folder of this process's own, removed when the process ends.
struct ScratchDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("orvkt-fuzz-wavconv-" + std::to_string(::getpid()));
    ScratchDir() { std::filesystem::create_directories(path); }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const std::filesystem::path& scratch_dir() {
    static const ScratchDir dir;
    return dir.path;
}

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

WAVEFORMATEX dss(uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_DSS_SP;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate == 16000 ? 3563 : 1167;
    f.nBlockAlign = rate == 16000 ? 57 : 42;
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Sources of a few seconds at most: the conversions themselves are slow
    // enough, and a size field says whatever it likes anyway.
    if (size > (64u << 10)) return 0;
    const std::filesystem::path dir = scratch_dir();
    const std::string src = (dir / "src.wav").string();
    if (FILE* f = std::fopen(src.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const WAVEFORMATEX to8k = pcm(8000, 16), to22k8 = pcm(22050, 8), qp = dss(16000), lp = dss(8000);
    ORVKTWAVToWAV(src.c_str(), (dir / "a.wav").string().c_str(), &to8k, nullptr, 0);
    ORVKTWAVToWAV(src.c_str(), (dir / "b.wav").string().c_str(), &to22k8, nullptr, 0);
    ORVKTWAVToDSS(src.c_str(), (dir / "c.ds2").string().c_str(), &qp, 3, nullptr, 0);
    ORVKTWAVToDSS(src.c_str(), (dir / "d.dss").string().c_str(), &lp, 1, nullptr, 0);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored))
        std::filesystem::remove(entry.path(), ignored);
    return 0;
}
