// The common base of the rate converters: an up factor L and a down factor
// M from the common rate of the two rates, so that one input unit of M
// samples becomes one output unit of L samples.
#pragma once

#include "afc/SRConverter.h"

class SRSamplingRateConverter : public SRBufferUnitConverter<SRConverter> {
public:
    // 101 for a rate not above 0, 102 for a width other than 8 or 16.
    explicit SRSamplingRateConverter(const SRSamplingRateConverterPars& pars);

    // Copies when the unit sample counts are equal, else splits into units.
    void Convert(SRJBuffer& in, SRJBuffer& out) override;
    // Works out C, L, M and the units.
    void Initialize() override;
    // Pads a partial unit with copies of its last byte.
    void CompleteLastUnit(SRJBuffer& buffer) override;

    uint32_t Bits() const { return m_bits; }
    double CommonRate() const { return m_commonRate; }
    uint32_t UpFactor() const { return m_up; }
    uint32_t DownFactor() const { return m_down; }
    uint32_t InputUnitSamples() const { return m_inputUnitSamples; }
    uint32_t OutputUnitSamples() const { return m_outputUnitSamples; }

protected:
    double m_sourceRate;
    double m_destinationRate;
    uint32_t m_bits;
    double m_commonRate = 0.0;
    uint32_t m_up = 0;
    uint32_t m_down = 0;
    uint32_t m_inputUnitSamples = 0;   // M'
    uint32_t m_outputUnitSamples = 0;  // L'

private:
    SRJBuffer m_partial;
};
