#include "codecs/range_coder.h"

namespace vkt::codecs {

namespace {
constexpr uint32_t kTop = 1u << 24;
}

void RangeEncoder::reset() {
    low_ = 0;
    range_ = 0xFFFFFFFFu;
    cache_ = 0;
    pending_ = 1;
    first_ = true;
    out_.clear();
}

// Moves the top byte of low out. A byte of 0xFF may still change by a carry
// from below, so such bytes wait (with the byte before them) until it is
// known whether the carry comes.
void RangeEncoder::shift_low() {
    if (static_cast<uint32_t>(low_) < 0xFF000000u || (low_ >> 32) != 0) {
        const uint8_t carry = static_cast<uint8_t>(low_ >> 32);
        uint8_t byte = cache_;
        do {
            if (!first_) out_.push_back(static_cast<uint8_t>(byte + carry));
            first_ = false;
            byte = 0xFF;
        } while (--pending_ != 0);
        cache_ = static_cast<uint8_t>(static_cast<uint32_t>(low_) >> 24);
    }
    ++pending_;
    low_ = (low_ & 0x00FFFFFFu) << 8;
}

void RangeEncoder::encode(uint32_t start, uint32_t size, unsigned bits) {
    range_ >>= bits;
    low_ += uint64_t(start) * range_;
    range_ *= size;
    while (range_ < kTop) {
        range_ <<= 8;
        shift_low();
    }
}

void RangeEncoder::finish() {
    // Any value in [low, low + range) decodes the same; take the one with the
    // most trailing zero bits, so that the bytes after it can be left out.
    const uint64_t end = low_ + range_;
    for (int k = 32; k >= 0; --k) {
        const uint64_t mask = (uint64_t(1) << k) - 1;
        const uint64_t v = (low_ + mask) & ~mask;
        if (v >= low_ && v < end) {
            low_ = v;
            break;
        }
    }
    for (int i = 0; i < 5; ++i) shift_low();
    while (!out_.empty() && out_.back() == 0) out_.pop_back();
}

RangeDecoder::RangeDecoder(const uint8_t* data, size_t size) : data_(data), size_(size) {
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | next_byte();
}

uint32_t RangeDecoder::peek(unsigned bits) {
    range_ >>= bits;
    const uint32_t v = code_ / range_;
    const uint32_t top = (1u << bits) - 1;
    return v > top ? top : v;
}

void RangeDecoder::consume(uint32_t start, uint32_t size) {
    code_ -= start * range_;
    range_ *= size;
    while (range_ < kTop) {
        range_ <<= 8;
        code_ = (code_ << 8) | next_byte();
    }
}

uint32_t RangeDecoder::decode_bits(unsigned count) {
    const uint32_t v = peek(count);
    consume(v, 1);
    return v;
}

}  // namespace vkt::codecs
