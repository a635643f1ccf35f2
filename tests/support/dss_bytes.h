// Hand-built DSS bytes: header blocks, data blocks (stored pair-swapped), whole
// recordings and the frames read back from a file. Nothing here calls the library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace dss_test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
inline uint32_t get32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline void put_text(Bytes& b, size_t at, const char* text) { std::memcpy(b.data() + at, text, std::strlen(text)); }
inline void put_text(Bytes& b, size_t at, const std::string& s) { std::memcpy(b.data() + at, s.data(), s.size()); }

// Header block 1 as our writer lays it out, with the given count and self-id.
inline Bytes header1(uint8_t headers, const char* self_id, uint32_t licensee = 3) {
    Bytes h(512, 0xFF);
    h[0] = headers;
    put_text(h, 1, self_id);
    const bool pro = std::string(self_id) != "dss";
    put16(h, 4, pro ? 2 : 1);
    put16(h, 6, pro ? 3 : 1);
    put32(h, 8, licensee);
    std::memset(h.data() + 12, 0, 20);
    put16(h, 32, headers < 2 ? 0xFFFD : 0xFFFE);
    put16(h, 34, 0xFFFE);
    put16(h, 36, 0xFFF7);
    put_text(h, 38, "000000");
    put_text(h, 44, "000000");
    put_text(h, 62, "000000");
    h[69] = 0;
    return h;
}

// Header block 2 as our writer lays it out.
inline Bytes header2(uint16_t compression_id) {
    Bytes h(512, 0);
    std::memset(h.data() + 424, 0xFF, 80);
    put16(h, 0, 1);
    put16(h, 16, compression_id);
    return h;
}

// A data block in block order: frame-pointer word (big-endian), 0xFF, count,
// 0xFF, identifier; zeros after.
inline Bytes block(uint16_t frame_pointer_word, uint8_t frames, uint8_t id) {
    Bytes b(512, 0);
    b[0] = static_cast<uint8_t>(frame_pointer_word >> 8);
    b[1] = static_cast<uint8_t>(frame_pointer_word);
    b[2] = 0xFF;
    b[3] = frames;
    b[4] = 0xFF;
    b[5] = id;
    return b;
}

// Word for a frame pointer: offset × 128 + 15.
inline uint16_t fp_word(unsigned offset) { return static_cast<uint16_t>(offset * 128 + 15); }

// A block as it is stored: every byte pair swapped.
inline Bytes stored(const Bytes& block_order) {
    Bytes s = block_order;
    for (size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
    return s;
}

// A frame of n bytes whose content tells it apart from every other frame.
inline Bytes frame(unsigned number, size_t n = 41) {
    Bytes f(n);
    for (size_t i = 0; i < n; ++i) f[i] = static_cast<uint8_t>(number * 7 + i * 3 + 1);
    return f;
}

inline void place(Bytes& b, size_t at, const Bytes& what) { std::memcpy(b.data() + at, what.data(), what.size()); }
inline void place(Bytes& b, size_t at, const Bytes& what, size_t from, size_t n) {
    std::memcpy(b.data() + at, what.data() + from, n);
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The codec block a reader hands out: the frame, zeros, and 1 last if flagged.
inline Bytes codec_block(const Bytes& f, size_t size, bool flag = false) {
    Bytes c(size, 0);
    std::memcpy(c.data(), f.data(), f.size());
    if (flag) c[size - 1] = 1;
    return c;
}

// Header blocks of a licensee's DS2 file, header 2 (version 1) and 3 (no
// markers) as far as `length` reaches.
inline Bytes zrm2_image(uint32_t length, uint8_t blocks = 3, const char* self_id = "ds2", uint32_t licensee = 3) {
    Bytes b(length, 0xFF);
    b[0] = blocks;
    put_text(b, 1, self_id);
    put16(b, 4, 2);
    put16(b, 6, 3);
    put32(b, 8, licensee);
    std::memset(b.data() + 12, 0, 16);
    put_text(b, 12, "Author");
    put32(b, 28, 0xA1B2C3D4);
    put16(b, 32, blocks > 1 ? 0xFFFE : 0xFFFD);
    put16(b, 34, 0xFFFE);
    put16(b, 36, 0xFFF7);
    put_text(b, 38, "250102093000250102094512000130");
    b[68] = 0xFF;
    b[69] = 5;
    if (length >= 1024) {
        std::memset(b.data() + 512, 0, 424);
        put16(b, 512, 1);
        put16(b, 514, 0x0102);
        for (int i = 0; i < 8; ++i) b[516 + i] = static_cast<uint8_t>(0x10 + i);
        put32(b, 524, 0xCAFEBABE);
        put16(b, 528, 6);
        put32(b, 530, 90000);
        put_text(b, 534, "250103101010");
        put_text(b, 546, "Typist M\x81ller");  // OEM (CP850) u-umlaut
        put_text(b, 576, "Cardiology");
        std::memset(b.data() + 876, 0xFF, 60);  // extension texts never written
        put32(b, 1016, 0);
        put32(b, 1020, 0);
    }
    return b;
}

}  // namespace dss_test

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

// The whole file: headers 1 (times, length), 2 (identifier, ms), 3 (markers).
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

// The frames of a file: back to back in bytes 6-511 of the data blocks, as
// many as the blocks' counts add up to.
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
