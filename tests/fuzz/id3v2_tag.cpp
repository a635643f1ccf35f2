// Fuzz target: the ID3v2 reader and the in-place rewrite, which keeps the length.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "metadata/mp3_dictation_header.h"
#include "platform/id3v2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    vkt::platform::Id3v2Tag tag;
    vkt::platform::parse_id3v2_tag(data, size, &tag);
    std::vector<uint8_t> image(1536);
    CMP3Helper::SelectDSSHeaderImage(vkt::platform::id3v2_frame_values(tag, "PRIV"), image.data(), 1536);

    static const std::string path = "/tmp/orvkt-fuzz-id3-" + std::to_string(::getpid()) + ".mp3";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::vector<uint8_t> header(1536, 0x5A);
    CMP3Helper::WriteDSSHeader(path.c_str(), header.data(), 1536);
    f = std::fopen(path.c_str(), "rb");
    if (f) {
        std::fseek(f, 0, SEEK_END);
        const long after = std::ftell(f);
        std::fclose(f);
        if (after != static_cast<long>(size)) std::abort();  // the audio would have moved
    }
    std::remove(path.c_str());
    return 0;
}
