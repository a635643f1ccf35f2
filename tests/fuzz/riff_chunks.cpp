// Fuzz target: the RIFF chunk walker and every CWavFile chunk operation.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/vkt_error.h"
#include "wav/wav_file.h"
#include "wav/chunk_utilities.h"

namespace {

template <typename Fn>
void guarded(Fn fn) {
    try {
        fn();
    } catch (const vkt::VktError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    static const std::string path = "/tmp/orvkt-fuzz-riff-" + std::to_string(::getpid()) + ".wav";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    {
        CWavFile wav;
        guarded([&] {
            wav.open_file(path.c_str(), MMIO_READ);
            uint32_t n = 0;
            wav.get_sizeof_format(&n);
            if (n <= 4096) {
                std::vector<uint8_t> fmt(n);
                wav.read_format(fmt.data(), n);
            }
            uint32_t d = 0;
            wav.get_sizeof_data(&d);
            uint8_t buf[4096];
            uint64_t left = d;
            while (left > 0) {
                uint32_t got = wav.read_data(buf, static_cast<uint32_t>(std::min<uint64_t>(left, sizeof buf)));
                if (got == 0) break;
                left -= got;
            }
        });
        std::vector<char> icmt(1536);
        guarded([&] { wav.read_icmt_chunk(icmt.data(), 1536); });
        uint8_t key[280];
        guarded([&] { wav.read_listinfo_subchunk(key); });
        uint32_t list = 0;
        if (wav.get_sizeof_list(&list) == 0 && list <= (1u << 20)) {
            std::vector<uint8_t> buf(list);
            guarded([&] { wav.read_list_chunk(buf.data(), list); });
            move_format_history_chunk_to_end(buf.data(), list);
        }
        CuePoint cue;
        wav.read_cue_chunk(&cue);
    }
    {
        CWavFile wav;
        std::vector<char> image(1024, 'h');
        uint8_t key[280] = {};
        guarded([&] {
            wav.open_file(path.c_str(), MMIO_READWRITE);
            guarded([&] { wav.write_icmt_chunk(image.data(), 1024); });
            guarded([&] { wav.write_listinfo_subchunk(key); });
            CuePoint cue{};
            wav.write_cue_chunk(&cue);
        });
    }
    reorder_list_chunk_in_file(path.c_str());
    std::remove(path.c_str());
    return 0;
}
