// A byte-wise range coder for the quality-play frames. Symbols are coded
// against cumulative frequencies whose total is a power of two. The encoder
// ends on the shortest byte string that still decodes, since the decoder reads
// zero bytes past the end of its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt::codecs {

class RangeEncoder {
public:
    RangeEncoder() { reset(); }
    void reset();

    // Codes the symbol that owns [start, start + size) of 2^bits.
    void encode(uint32_t start, uint32_t size, unsigned bits);
    // `count` raw bits of value (count at most 16), each half as likely.
    void encode_bits(uint32_t value, unsigned count) { encode(value, 1, count); }

    // Ends the code; the bytes are then in bytes(), trailing zeros dropped.
    void finish();
    const std::vector<uint8_t>& bytes() const { return out_; }

private:
    void shift_low();

    uint64_t low_ = 0;
    uint32_t range_ = 0;
    uint8_t cache_ = 0;
    uint64_t pending_ = 0;  // bytes held back for a carry: cache_ and 0xFFs
    bool first_ = true;     // the first held byte is always 0 and never written
    std::vector<uint8_t> out_;
};

class RangeDecoder {
public:
    RangeDecoder(const uint8_t* data, size_t size);

    // The position of the next symbol within 2^bits; follow with consume().
    uint32_t peek(unsigned bits);
    void consume(uint32_t start, uint32_t size);
    uint32_t decode_bits(unsigned count);

private:
    uint8_t next_byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t range_ = 0xFFFFFFFFu;
    uint32_t code_ = 0;
};

}  // namespace vkt::codecs
