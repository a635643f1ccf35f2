#include "afc/SRBitConverter.h"

#include <utility>

#include "afc/SException.h"

SRBitConverter::SRBitConverter(const SRBitConverterParams& pars)
    : m_sourceBits(pars.sourceBits), m_destinationBits(pars.destinationBits) {
    auto usable = [](uint32_t bits) { return bits == 8 || bits == 16; };
    if (!usable(m_sourceBits) || !usable(m_destinationBits))
        throw SException(afc_error::kNotSupportedBits, "SRBitConverter", "SRBitConverter", "Not supported parameters!");
}

uint32_t SRBitConverter::SwapDirection() {
    std::swap(m_sourceBits, m_destinationBits);
    return m_sourceBits;
}

void SRBitConverter::Convert(SRJBuffer& in, SRJBuffer& out) {
    if (m_sourceBits == 8 && m_destinationBits == 16) {
        const uint32_t n = in.GetSizeBytes();
        out.SetSizeBytes(2 * n);
        if (n == 0) return;
        const uint8_t* src = in.GetBufferPtr();
        uint8_t* dst = out.GetBufferPtr();
        for (uint32_t i = 0; i < n; ++i) {
            // (byte - 128) * 256 as a little-endian word: low byte 0, high
            // byte the input with its top bit flipped.
            dst[2 * i] = 0;
            dst[2 * i + 1] = static_cast<uint8_t>(src[i] ^ 0x80u);
        }
    } else if (m_sourceBits == 16 && m_destinationBits == 8) {
        const uint32_t n = in.GetSizeBytes() / 2;
        out.SetSizeBytes(n);
        if (n == 0) return;
        const uint8_t* src = in.GetBufferPtr();
        uint8_t* dst = out.GetBufferPtr();
        for (uint32_t i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>(src[2 * i + 1] ^ 0x80u);
    } else {
        out = in;
    }
}
