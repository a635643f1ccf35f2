// Recordings for the editing tests, built byte by byte, and the frames read
// back from a file the same way: frames lie back to back in bytes 6 to 511
// of the data blocks (block order), so a file's frames are the first n
// frame-sized slices of those bytes, n being the sum of the blocks' counts.
// Nothing here calls the code under test.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dss/dss_bytes.h"

namespace edit_test {

using dss_test::Bytes;
using Marker = std::pair<uint32_t, uint32_t>;  // start, end in ms

inline constexpr size_t kPayload = 506;  // frame bytes per data block

inline size_t frame_size_of(uint8_t id) { return id == 2 ? 24 : id >= 6 ? 56 : 41; }
inline uint32_t frame_ms_of(uint8_t id) { return id == 0 ? 24 : id == 2 ? 30 : id == 4 ? 36 : 16; }

// n frames of random bytes (any 41-byte frame is a valid SP bitstream).
inline std::vector<Bytes> random_frames(size_t n, size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Bytes> frames(n, Bytes(size));
    for (auto& f : frames)
        for (auto& b : f) b = static_cast<uint8_t>(random());
    return frames;
}

// Data blocks (stored, pair-swapped) holding the frames back to back.
inline Bytes pack_blocks(const std::vector<Bytes>& frames, uint8_t id) {
    Bytes stream;
    for (const auto& f : frames) stream.insert(stream.end(), f.begin(), f.end());
    const size_t size = frame_size_of(id);
    const size_t blocks = std::max<size_t>(1, (stream.size() + kPayload - 1) / kPayload);
    Bytes out;
    for (size_t b = 0; b < blocks; ++b) {
        const size_t from = b * kPayload, to = from + kPayload;
        // Frames whose first byte lies in [from, to).
        const size_t first = (from + size - 1) / size;
        size_t count = 0;
        for (size_t i = first; i < frames.size() && i * size < to; ++i) ++count;
        const unsigned pointer = static_cast<unsigned>(6 + (first * size - from));
        Bytes block = dss_test::block(count ? dss_test::fp_word(pointer) : dss_test::fp_word(6),
                                      static_cast<uint8_t>(count), id);
        for (size_t i = from; i < to && i < stream.size(); ++i) block[6 + i - from] = stream[i];
        const Bytes s = dss_test::stored(block);
        out.insert(out.end(), s.begin(), s.end());
    }
    return out;
}

inline Bytes marker_array(const std::vector<Marker>& markers) {
    Bytes a(256, 0xFF);
    for (size_t i = 0; i < markers.size() && i < 32; ++i) {
        dss_test::put32(a, 8 * i, markers[i].first);
        dss_test::put32(a, 8 * i + 4, markers[i].second);
    }
    return a;
}

struct Recording {
    uint8_t headers = 3;
    const char* self_id = "dss";
    uint8_t id = 0;
    uint32_t licensee = 3;
    std::vector<Bytes> frames;
    std::vector<Marker> markers;
    const char* start = "240611090000";  // header 1 bytes 38-49
    const char* end = "240611100000";    // header 1 bytes 50-61
};

// The whole file: header 1 with start and end digits and a text length,
// header 2 with the identifier and the length in ms, header 3 with markers.
inline Bytes build(const Recording& r) {
    Bytes h1 = dss_test::header1(r.headers, r.self_id, r.licensee);
    dss_test::put_text(h1, 38, r.start);
    dss_test::put_text(h1, 50, r.end);
    const uint32_t ms = static_cast<uint32_t>(r.frames.size()) * frame_ms_of(r.id);
    char text[16];
    std::snprintf(text, sizeof text, "%02u%02u%02u", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
    dss_test::put_text(h1, 62, text);
    // Index tables as a recorder might have left them.
    for (size_t i = 86; i < 326; ++i) h1[i] = static_cast<uint8_t>(i);
    Bytes file = h1;
    if (r.headers >= 2) {
        Bytes h2 = dss_test::header2(r.id);
        dss_test::put32(h2, 18, ms);
        dss_test::put_text(h2, 34, "author");
        file.insert(file.end(), h2.begin(), h2.end());
    }
    if (r.headers >= 3) {
        Bytes h3 = marker_array(r.markers);
        h3.resize(512, 0xFF);
        file.insert(file.end(), h3.begin(), h3.end());
    }
    const Bytes data = pack_blocks(r.frames, r.id);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

// The frames of a file (see the top of this file).
inline std::vector<Bytes> frames_of(const Bytes& file, size_t size) {
    std::vector<Bytes> frames;
    if (file.empty()) return frames;
    Bytes stream;
    size_t count = 0;
    for (size_t at = static_cast<size_t>(file[0]) * 512; at + 512 <= file.size(); at += 512) {
        Bytes block(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + 512));
        block = dss_test::stored(block);  // the swap undoes itself
        uint8_t n = block[3];
        if (n == 0 || n == 0xFF) n = block[4] == 0xFF ? 0 : block[4];
        count += n;
        stream.insert(stream.end(), block.begin() + 6, block.end());
    }
    for (size_t i = 0; i < count && (i + 1) * size <= stream.size(); ++i)
        frames.emplace_back(stream.begin() + static_cast<long>(i * size),
                            stream.begin() + static_cast<long>((i + 1) * size));
    return frames;
}

inline std::vector<Bytes> slice(const std::vector<Bytes>& v, size_t from, size_t to) {
    return std::vector<Bytes>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(to));
}

inline Bytes part(const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
}

inline std::vector<Marker> markers_of(const Bytes& file) {
    std::vector<Marker> out;
    for (size_t i = 0; i < 32; ++i) {
        const uint32_t start = dss_test::get32(file, 1024 + 8 * i);
        if (start == 0xFFFFFFFFu) break;
        out.emplace_back(start, dss_test::get32(file, 1024 + 8 * i + 4));
    }
    return out;
}

inline bool all_ff(const Bytes& b, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (b[i] != 0xFF) return false;
    return true;
}

}  // namespace edit_test
