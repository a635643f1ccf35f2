// Hand-made RIFF bytes, so that expectations never come from the writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace riff_bytes {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint32_t get32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b.at(at)) | (static_cast<uint32_t>(b.at(at + 1)) << 8) |
           (static_cast<uint32_t>(b.at(at + 2)) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

inline uint16_t get16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

inline void put_id(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

inline void append(Bytes& out, const Bytes& more) {
    const size_t at = out.size();
    out.resize(at + more.size());
    if (!more.empty()) std::memcpy(out.data() + at, more.data(), more.size());
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) append(out, p);
    return out;
}

// A chunk with the given data, padded to even length (unless told not to).
inline Bytes chunk(const char* id, const Bytes& data, bool pad = true) {
    Bytes b;
    put_id(b, id);
    put32(b, static_cast<uint32_t>(data.size()));
    append(b, data);
    if (pad && (data.size() & 1)) b.push_back(0);
    return b;
}

// A chunk whose size field says something else than its data holds.
inline Bytes chunk_with_size(const char* id, uint32_t declared, const Bytes& data) {
    Bytes b;
    put_id(b, id);
    put32(b, declared);
    append(b, data);
    return b;
}

inline Bytes list(const char* type, const Bytes& content) {
    Bytes data;
    put_id(data, type);
    append(data, content);
    return chunk("LIST", data);
}

// RIFF/WAVE around the given chunks, with a correct size.
inline Bytes wave(const Bytes& chunks) {
    Bytes data;
    put_id(data, "WAVE");
    append(data, chunks);
    return chunk("RIFF", data);
}

// 16-bit samples as the little-endian bytes of a data chunk, and back.
inline Bytes sample_bytes(const std::vector<int16_t>& s) {
    Bytes b(s.size() * 2);
    if (!s.empty()) std::memcpy(b.data(), s.data(), b.size());
    return b;
}
inline std::vector<int16_t> byte_samples(const Bytes& b) {
    std::vector<int16_t> s(b.size() / 2);
    if (!s.empty()) std::memcpy(s.data(), b.data(), s.size() * 2);
    return s;
}

inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The 16 bytes of a PCM format record.
inline Bytes pcm_fmt(uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes b;
    put16(b, 1);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * (bits / 8));
    put16(b, static_cast<uint16_t>(channels * (bits / 8)));
    put16(b, bits);
    return b;
}

inline Bytes pattern(size_t n, uint8_t seed = 1) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed);
    return v;
}

// Offset of the first occurrence of a four-character id, or npos.
inline size_t find_id(const Bytes& b, const char* id, size_t from = 0) {
    for (size_t i = from; i + 4 <= b.size(); ++i)
        if (std::memcmp(b.data() + i, id, 4) == 0) return i;
    return std::string::npos;
}

// fmt (PCM mono 8000 Hz 16 bit) and ten bytes of data as other programs write
// them, then `extra_chunks`.
inline Bytes plain_wave(const Bytes& extra_chunks = {}) {
    return wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk("data", pattern(10)), extra_chunks}));
}

// The bytes of a file's data chunk, or nothing.
inline Bytes audio_of(const Bytes& file) {
    const size_t at = find_id(file, "data", 12);
    if (at == std::string::npos) return {};
    return Bytes(file.begin() + at + 8, file.begin() + at + 8 + get32(file, at + 4));
}

}  // namespace riff_bytes
