// The stages between two sample formats: the converter between two audio
// formats that they all are, the sample-width converter, the PCM stage
// (width and rate), and the stage between a compressed type and PCM.
#pragma once

#include <memory>

#include "afc/buffers.h"
#include "afc/planning.h"
#include "afc/rate_stages.h"

// A converter between two audio formats. Construction checks that both
// rates are above 0 (101) and both sides are mono (102).
class SRAFConverter : public SRConverter {
public:
    SRAFConverter() = default;
    explicit SRAFConverter(const SRAFConverterPars& pars);

    const AudioFormatSide& SourceFormat() const { return m_source; }
    const AudioFormatSide& DestinationFormat() const { return m_destination; }

protected:
    AudioFormatSide m_source;
    AudioFormatSide m_destination;
};

// Changes the sample width between 8-bit unsigned and 16-bit signed
// little-endian samples. It has no stream state.
class SRBitConverter : public SRConverter {
public:
    // 104 unless both widths are 8 or 16.
    explicit SRBitConverter(const SRBitConverterParams& pars);

    // 8 -> 16: (byte - 128) * 256. 16 -> 8: high byte + 128 (mod 256), a
    // trailing odd byte is dropped. Equal widths copy.
    void Convert(SRJBuffer& in, SRJBuffer& out) override;
    void Initialize() override {}
    // Exchanges the two widths; returns the new source width.
    virtual uint32_t SwapDirection();

private:
    uint32_t m_sourceBits;
    uint32_t m_destinationBits;
};

// One PCM-to-PCM stage: an optional sample-width converter around an
// optional sampling-rate converter (which always works on 16-bit samples).
class SRPCMConverter : public SRConverterProvidingBufferUnitSizes<SRAFConverter> {
public:
    explicit SRPCMConverter(const SRAFConverterPars& pars);
    ~SRPCMConverter() override;

    void Convert(SRJBuffer& in, SRJBuffer& out) override;
    // Builds the inner converters (104 for widths other than 8 and 16) and
    // sets the units.
    void Initialize() override;
    uint32_t& GetInputBufferUnitSize() override { return m_inputBufferUnit; }
    uint32_t& GetOutputBufferUnitSize() override { return m_outputBufferUnit; }
    // With a rate converter: down factor x source bytes per sample in, up
    // factor x destination bytes per sample out, so that output sizes
    // predicted from the units are exact for 8-bit sides too. Without one:
    // one sample on each side.
    virtual void UpdateBufferUnits();

private:
    // Rate-converts x into y, or copies when there is no rate converter.
    void RateConvert(SRJBuffer& x, SRJBuffer& y);

    int32_t m_rateConverterKind = 0;
    std::unique_ptr<SRBitConverter> m_bitConverter;
    std::unique_ptr<SRSamplingRateConverter> m_rateConverter;
    // Intermediate samples, kept from call to call.
    SRJBuffer m_wide;
    SRJBuffer m_resampled;
};

// The stage between a compressed stream type and PCM. No codec lives in
// this library, so such a stage cannot be built: construction raises 102.
class SRAFTypeConverter : public SRBufferUnitConverter<SRAFConverter> {
public:
    explicit SRAFTypeConverter(const SRAFConverterPars& pars);

    void Initialize() override {}
    void ConvertUnits(SRJBuffer&, SRJBuffer&) override {}
    void CompleteLastUnit(SRJBuffer&) override {}
};
