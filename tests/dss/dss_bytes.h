// Hand-built DSS bytes for the tests: header blocks laid out field by field,
// data blocks written in block order and stored pair-swapped, frames with
// recognisable contents. Nothing here calls the code under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
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
    Bytes h(512, 0xFF);
    put16(h, 0, 1);
    put16(h, 2, 0);
    std::memset(h.data() + 4, 0, 12);
    put16(h, 16, compression_id);
    put32(h, 18, 0);
    std::memset(h.data() + 22, 0, 424 - 22);
    put32(h, 504, 0);
    put32(h, 508, 0);
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

// The codec block a reader should hand out for a frame: the frame, zero
// bytes up to the block size, and 1 as the last byte for identifiers 1, 3, 7.
inline Bytes codec_block(const Bytes& f, size_t size, bool flag = false) {
    Bytes c(size, 0);
    std::memcpy(c.data(), f.data(), f.size());
    if (flag) c[size - 1] = 1;
    return c;
}

}  // namespace dss_test
