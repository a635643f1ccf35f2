// One PCM-to-PCM stage: an optional sample-width converter around an
// optional sampling-rate converter (which always works on 16-bit samples).
#pragma once

#include <memory>

#include "afc/SRBitConverter.h"
#include "afc/SRConverter.h"
#include "afc/SRSamplingRateConverter.h"

class SRPCMConverter : public SRConverterProvidingBufferUnitSizes<SRAFConverter> {
public:
    explicit SRPCMConverter(const SRAFConverterPars& pars);
    ~SRPCMConverter() override;

    void Reset() override;
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

    int32_t RateConverterKind() const { return m_rateConverterKind; }
    const SRBitConverter* BitConverter() const { return m_bitConverter.get(); }
    const SRSamplingRateConverter* RateConverter() const { return m_rateConverter.get(); }

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
