// Hand-laid DSS header blocks for the metadata tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace header_bytes {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, size_t at, uint16_t v) {
    b.at(at) = static_cast<uint8_t>(v);
    b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}
inline void put_text(Bytes& b, size_t at, const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) b.at(at + i) = static_cast<uint8_t>(s[i]);
}

// Header 1 of a DS2 file of licensee 3 with `blocks` header blocks, and
// header 2 (version 1) and header 3 (markers 0xFF) behind it as far as
// `length` reaches.
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

}  // namespace header_bytes
