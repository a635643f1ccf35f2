// Changes the sample width between 8-bit unsigned and 16-bit signed
// little-endian samples. It has no stream state.
#pragma once

#include "afc/SRConverter.h"

class SRBitConverter : public SRConverter {
public:
    // 104 unless both widths are 8 or 16.
    explicit SRBitConverter(const SRBitConverterParams& pars);

    void Reset() override {}
    // 8 -> 16: (byte - 128) * 256. 16 -> 8: high byte + 128 (mod 256), a
    // trailing odd byte is dropped. Equal widths copy.
    void Convert(SRJBuffer& in, SRJBuffer& out) override;
    void Initialize() override {}
    // Exchanges the two widths; returns the new source width.
    virtual uint32_t SwapDirection();

    uint32_t SourceBits() const { return m_sourceBits; }
    uint32_t DestinationBits() const { return m_destinationBits; }

private:
    uint32_t m_sourceBits;
    uint32_t m_destinationBits;
};
