// Fuzz target: the bytes as a WAV source of WAVToWAV and WAVToDSS (format change
// and packing); outputs and temporary files are removed after each run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "OrvaneVktapi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Sources of a few seconds at most: the conversions themselves are slow
    // enough, and a size field says whatever it likes anyway.
    if (size > (64u << 10)) return 0;
    namespace fs = std::filesystem;
    static const fs::path dir = fs::temp_directory_path() / ("orvkt-fuzz-wavconv-" + std::to_string(::getpid()));
    std::error_code ignored;
    fs::create_directories(dir, ignored);
    const std::string src = (dir / "src.wav").string();
    if (FILE* f = std::fopen(src.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const WAVEFORMATEX to8k = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    const WAVEFORMATEX to22k8 = {WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
    const WAVEFORMATEX qp = {WAVE_FORMAT_DSS_SP, 1, 16000, 3563, 57, 0, 0};
    const WAVEFORMATEX lp = {WAVE_FORMAT_DSS_SP, 1, 8000, 1167, 42, 0, 0};
    ORVKTWAVToWAV(src.c_str(), (dir / "a.wav").string().c_str(), &to8k, nullptr, 0);
    ORVKTWAVToWAV(src.c_str(), (dir / "b.wav").string().c_str(), &to22k8, nullptr, 0);
    ORVKTWAVToDSS(src.c_str(), (dir / "c.ds2").string().c_str(), &qp, 3, nullptr, 0);
    ORVKTWAVToDSS(src.c_str(), (dir / "d.dss").string().c_str(), &lp, 1, nullptr, 0);
    fs::remove_all(dir, ignored);
    return 0;
}
