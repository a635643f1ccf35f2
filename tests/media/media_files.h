// Files for the MP3/WMA tests: recordings made by ffmpeg, ID3v2 tags laid
// out byte by byte here (not by the library's writer), and readings of
// what the library wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "convert/conv_files.h"
#include "support/id3_bytes.h"
#include "support/test_support.h"

namespace media_test {

using Bytes = std::vector<uint8_t>;
using conv_test::get32;

inline constexpr char kOwner[] = "https://orvane.example/dictation";
inline constexpr size_t kImage = 1536;

// Runs ffmpeg with the arguments and the output file; "" on failure.
inline std::string ffmpeg_make(const orvkt_test::TempDir& tmp, const std::string& name, const std::string& args) {
    const std::string out = tmp.path(name);
    const auto r =
        orvkt_test::run_command("ffmpeg -hide_banner -loglevel error -y " + args + " " + orvkt_test::shell_quote(out));
    return r.status == 0 ? out : std::string();
}

// The duration ffprobe states for a file, in seconds (-1 on failure).
inline double ffprobe_duration(const std::string& path) {
    const auto r = orvkt_test::run_command(
        "ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 " + orvkt_test::shell_quote(path), false);
    if (r.status != 0 || r.output.empty()) return -1;
    return std::atof(r.output.c_str());
}

// Ten minutes of pink noise as MPEG-2.5 layer III, 8000/s mono, 8 kbit/s:
// 8336 frames of exactly 72 bytes and 72 ms, no tag, no info frame. Noise
// never repeats, so every frame's bytes say where it came from.
inline constexpr uint32_t kFrameBytes = 72;
inline constexpr double kFrameSeconds = 0.072;
inline std::string ten_minutes_mp3(const orvkt_test::TempDir& tmp, const std::string& name = "ten.mp3") {
    return ffmpeg_make(tmp, name,
                       "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=7:sample_rate=8000:duration=600 "
                       "-ac 1 -c:a libmp3lame -b:a 8k -write_xing 0 -id3v2_version 0");
}

inline void put_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// An ID3v2.3 tag with one private frame: owner, 0, version, image; then
// `padding` zero bytes.
inline Bytes id3_tag_with_priv(const Bytes& image, uint8_t version = 0, size_t padding = 16) {
    Bytes data = {version};
    data.insert(data.end(), image.begin(), image.end());
    Bytes frame = id3_bytes::priv_frame(kOwner, data);
    frame.insert(frame.end(), padding, 0);
    return id3_bytes::tag(3, frame);
}

// The fixture's header image (DS2, licensee 3) with the given length in
// header 2 and the given markers (ms) in header 3.
inline Bytes header_image(uint32_t length_ms, const std::vector<std::pair<uint32_t, uint32_t>>& markers) {
    Bytes image = orvkt_test::read_bytes(orvkt_test::data_path("dictation_header.bin"));
    image.resize(kImage);
    put_le32(image.data() + 512 + 18, length_ms);
    std::memset(image.data() + 1024, 0xFF, 256);
    for (size_t i = 0; i < markers.size(); ++i) {
        put_le32(image.data() + 1024 + 8 * i, markers[i].first);
        put_le32(image.data() + 1024 + 8 * i + 4, markers[i].second);
    }
    return image;
}

// Where the image of our private frame starts in a file's bytes (0 when
// there is none).
inline size_t image_offset(const Bytes& file) {
    const std::string owner(kOwner);
    for (size_t i = 0; i + owner.size() + 2 <= file.size(); ++i)
        if (std::memcmp(file.data() + i, owner.data(), owner.size()) == 0) return i + 34;
    return 0;
}

// The markers (ms) of a 256-byte marker array, up to the first unused one.
inline std::vector<std::pair<uint32_t, uint32_t>> marker_list(const uint8_t* array) {
    std::vector<std::pair<uint32_t, uint32_t>> m;
    for (size_t i = 0; i < 32; ++i) {
        const uint8_t* p = array + 8 * i;
        const uint32_t start = static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
        const uint32_t end = static_cast<uint32_t>(p[4] | p[5] << 8 | p[6] << 16) | static_cast<uint32_t>(p[7]) << 24;
        if (start == 0xFFFFFFFFu) break;
        m.emplace_back(start, end);
    }
    return m;
}

// The markers in header 3 of a header image.
inline std::vector<std::pair<uint32_t, uint32_t>> markers_of(const uint8_t* image) { return marker_list(image + 1024); }

inline bool contains(const Bytes& b, const char* text) {
    const size_t n = std::strlen(text);
    for (size_t i = 0; i + n <= b.size(); ++i)
        if (std::memcmp(b.data() + i, text, n) == 0) return true;
    return false;
}

}  // namespace media_test
