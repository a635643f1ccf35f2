// Hand-made ID3v2 tags, never made by the library's writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace id3_bytes {

using Bytes = std::vector<uint8_t>;

// An ID3v2 tag of the given major version around `frames`, its header
// declaring `declared` bytes (normally frames.size()).
inline Bytes tag(uint8_t major, const Bytes& frames, uint32_t declared) {
    Bytes t = {'I', 'D', '3', major, 0, 0};
    for (int shift : {21, 14, 7, 0}) t.push_back(static_cast<uint8_t>((declared >> shift) & 0x7F));
    t.insert(t.end(), frames.begin(), frames.end());
    return t;
}
inline Bytes tag(uint8_t major, const Bytes& frames) {
    return tag(major, frames, static_cast<uint32_t>(frames.size()));
}

// A version 2.3 PRIV frame: owner, 0, then `data`; the size field counts
// `declared_data` data bytes (normally data.size()).
inline Bytes priv_frame(const char* owner, const Bytes& data, uint32_t declared_data) {
    const uint32_t size = static_cast<uint32_t>(std::strlen(owner) + 1 + declared_data);
    Bytes f = {'P', 'R', 'I', 'V'};
    for (int i = 3; i >= 0; --i) f.push_back(static_cast<uint8_t>(size >> (8 * i)));
    f.push_back(0);
    f.push_back(0);
    f.insert(f.end(), owner, owner + std::strlen(owner));
    f.push_back(0);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}
inline Bytes priv_frame(const char* owner, const Bytes& data) {
    return priv_frame(owner, data, static_cast<uint32_t>(data.size()));
}

}  // namespace id3_bytes
