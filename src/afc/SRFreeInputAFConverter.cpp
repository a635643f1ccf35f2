#include "afc/SRFreeInputAFConverter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// A size beyond 32 bits is reported as the largest count, which no buffer
// of the caller can match.
uint32_t saturated(uint64_t bytes) { return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX)); }

}  // namespace

SRFreeInputAFConverter::SRFreeInputAFConverter(const SRAFConverterPars& pars)
    : SRAFConverter(pars),
      m_chain(std::make_unique<SRMultiAFConverter>(pars)),
      m_carrier(std::make_unique<SRDataBlockFlowConverter<SRJBuffer>>(m_chain->GetInputBufferUnitSize())) {}

SRFreeInputAFConverter::~SRFreeInputAFConverter() = default;

void SRFreeInputAFConverter::Reset() {
    SLockGuard lock(m_mutex);
    m_chain->Reset();
    m_carrier->Reset();
}

void SRFreeInputAFConverter::Convert(SRJBuffer& in, SRJBuffer& out) {
    SLockGuard lock(m_mutex);
    const uint32_t whole = m_carrier->Take(in, m_work);
    if (whole > 0)
        m_chain->Convert(m_work, out);
    else
        out.SetSizeBytes(0);
}

uint32_t SRFreeInputAFConverter::GetOutputSizeFor(const uint32_t& inputBytes) {
    SLockGuard lock(m_mutex);
    const uint64_t unitIn = m_chain->GetInputBufferUnitSize();
    const uint64_t unitOut = m_chain->GetOutputBufferUnitSize();
    return saturated((inputBytes + unitIn - 1) / unitIn * unitOut);
}

uint32_t SRFreeInputAFConverter::GetInputSizeFor(const uint32_t& outputBytes) {
    SLockGuard lock(m_mutex);
    const uint64_t unitIn = m_chain->GetInputBufferUnitSize();
    const uint64_t unitOut = m_chain->GetOutputBufferUnitSize();
    return saturated((outputBytes + unitOut - 1) / unitOut * unitIn);
}

void SRFreeInputAFConverter::Flush(SRJBuffer& out) {
    SLockGuard lock(m_mutex);
    m_carrier->Flush(m_work);
    m_chain->Convert(m_work, out);
}

uint32_t SRFreeInputAFConverter::GetHeldOutputSize() {
    SLockGuard lock(m_mutex);
    const double held = m_carrier->HeldBytes();
    const double units = std::trunc(held / m_chain->GetInputBufferUnitSize());
    return static_cast<uint32_t>(units) * m_chain->GetOutputBufferUnitSize() + 1;
}
