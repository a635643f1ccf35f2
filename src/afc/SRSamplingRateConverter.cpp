#include "afc/SRSamplingRateConverter.h"

#include <cstring>

#include "afc/SException.h"

SRSamplingRateConverter::SRSamplingRateConverter(const SRSamplingRateConverterPars& pars)
    : m_sourceRate(pars.sourceRate), m_destinationRate(pars.destinationRate), m_bits(pars.bits) {
    if (pars.sourceRate <= 0.0 || pars.destinationRate <= 0.0) RaiseInvalidWaveFormat("SRSamplingRateConverter");
    if (pars.bits != 8 && pars.bits != 16) RaiseNotSupportedWaveFormat("SRSamplingRateConverter");
}

void SRSamplingRateConverter::Initialize() {
    SRNaturalNumberUtils& nn = NaturalNumbers();
    m_commonRate = nn.LcmReal(m_sourceRate, m_destinationRate);
    m_up = nn.RoundToNatural(m_commonRate / m_sourceRate);
    m_down = nn.RoundToNatural(m_commonRate / m_destinationRate);
    m_inputUnitSamples = m_down;
    m_outputUnitSamples = m_up;
    GetInputBufferUnitSize() = m_bits / 8 * m_down;
    GetOutputBufferUnitSize() = m_bits / 8 * m_up;
}

void SRSamplingRateConverter::Convert(SRJBuffer& in, SRJBuffer& out) {
    if (m_inputUnitSamples == m_outputUnitSamples)
        out = in;
    else
        SRBufferUnitConverter::Convert(in, out);
}

void SRSamplingRateConverter::CompleteLastUnit(SRJBuffer& buffer) {
    const uint32_t n = buffer.GetSizeBytes();
    m_partial.SetSizeBytes(n);
    std::memcpy(m_partial.GetBufferPtr(), buffer.GetBufferPtr(), n);
    buffer.ReleaseBuffer();
    const uint32_t unit = GetInputBufferUnitSize();
    buffer.SetSizeBytes(unit);
    uint8_t* p = buffer.GetBufferPtr();
    std::memcpy(p, m_partial.GetBufferPtr(), n);
    // Byte-wise repetition of the last byte, not of the last sample.
    std::memset(p + n, m_partial.GetBufferPtr()[n - 1], unit - n);
}
