// A single-stage rate converter on 16-bit samples: each input sample is
// followed by L - 1 zeros, the stream is low-pass filtered at the common
// rate by a recursive filter (transposed direct form II, single precision),
// and every M-th filtered sample, scaled by L, becomes an output sample.
// Filter state and phases carry over from call to call.
#pragma once

#include <vector>

#include "afc/SRFilterDesigner.h"
#include "afc/SRFilterKernel.h"
#include "afc/SRSamplingRateConverter.h"

class SRSimpleSRConverter : public SRSamplingRateConverter {
public:
    // 101/102 for bad rates or widths (only 16 bits are filtered), 201 when
    // the rates need a filter and the designer gives no usable one.
    explicit SRSimpleSRConverter(const SRSamplingRateConverterPars& pars);

    // Clears the filter state and both phases.
    void Reset() override;
    // Recomputes the factors and designs the filter again; the state stays.
    void Initialize() override;
    void ConvertUnits(SRJBuffer& in, SRJBuffer& out) override;
    // Elliptic low-pass of order 6, 1 dB ripple, 60 dB attenuation, edge at
    // the lower of the two Nyquist frequencies; no filter when L = M = 1.
    virtual void SpecifyFilter();
    // Points `task` at this stage's filter and phases when the fast order-6
    // loop applies (order 6, at the start of an input sample); the caller
    // fills in the samples.
    bool MakeFilterTask(SRFilterTask& task);

    const SRFilterSpecification& FilterSpecification() const { return m_spec; }
    uint16_t FilterOrder() const { return m_order; }
    // Working coefficients, indices 1 ... N + 1.
    const std::vector<float>& A() const { return m_a; }
    const std::vector<float>& B() const { return m_b; }

protected:
    SRFilterSpecification m_spec;

private:
    void DesignAndInstall();

    SRFilterDesigner m_designer;
    SRFilterDesigner::Coefficients m_denominator;
    SRFilterDesigner::Coefficients m_numerator;
    uint16_t m_order = 0;
    std::vector<float> m_a;  // N + 2
    std::vector<float> m_b;  // N + 2
    std::vector<float> m_s;  // N + 1
    uint32_t m_downPhase = 0;
    uint32_t m_upPhase = 0;
};
