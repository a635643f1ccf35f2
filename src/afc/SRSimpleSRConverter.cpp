#include "afc/SRSimpleSRConverter.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "afc/SException.h"
#include "afc/SRFilterKernel.h"
#include "afc/SRSampleIO.h"

namespace {

using afc_samples::load_sample;
using afc_samples::store_sample;

struct Phases {
    uint32_t up;
    uint32_t down;
};

// The recursion of any order over the arrays, from any phase; the fast
// loops take order 6 from the start of an input sample: the same recursion over the arrays.
Phases filter_any(int n, const float* a, const float* b, float* s, const uint8_t* in, uint32_t samples,
                  uint8_t* out, uint32_t L, uint32_t M, Phases ph) {
    const float gain = static_cast<float>(L);
    uint32_t inIndex = 0;
    const uint64_t steps = static_cast<uint64_t>(samples) * L;
    uint32_t up = ph.up, down = ph.down;
    for (uint64_t step = 0; step < steps; ++step) {
        const float x = (up == 0) ? load_sample(in + 2 * inIndex++) : 0.0f;
        float y;
        if (n == 0) {
            y = b[1] * x;
        } else {
            y = b[1] * x + s[1];
            for (int k = 1; k < n; ++k) s[k] = (b[k + 1] * x - a[k + 1] * y) + s[k + 1];
            s[n] = b[n + 1] * x - a[n + 1] * y;
        }
        if (down == 0) {
            store_sample(out, gain, y);
            out += 2;
        }
        if (++up == L) up = 0;
        if (++down == M) down = 0;
    }
    return {up, down};
}

}  // namespace

SRSimpleSRConverter::SRSimpleSRConverter(const SRSamplingRateConverterPars& pars) : SRSamplingRateConverter(pars) {
    if (m_bits != 16) RaiseNotSupportedWaveFormat("SRSimpleSRConverter");
    SRSamplingRateConverter::Initialize();
    SpecifyFilter();
    DesignAndInstall();
}

void SRSimpleSRConverter::SpecifyFilter() {
    if (m_up == 1 && m_down == 1) {
        m_spec.bandKind = afc_filter::kNoFilter;
        return;
    }
    m_spec.designRate = m_commonRate;
    m_spec.passEdge = std::min(m_commonRate / 2.0 / m_down, m_commonRate / 2.0 / m_up);
    m_spec.stopEdge = 1.3 * m_spec.passEdge;
    m_spec.order = 6;
    m_spec.ripple = 1.0;
    m_spec.attenuation = 60.0;
    m_spec.family = afc_filter::kElliptic;
    m_spec.bandKind = afc_filter::kLowPass;
}

void SRSimpleSRConverter::DesignAndInstall() {
    const bool designed = m_designer.Design(m_spec, m_denominator, m_numerator);
    if (m_up == 1 && m_down == 1) return;  // a copying stage needs no filter
    const size_t len = m_denominator.size();
    if (!designed || len < 2 || m_numerator.size() != len || m_denominator[1] == 0.0f)
        throw SException(afc_error::kNoFilterDesign, "SRSimpleSRConverter", "SRSimpleSRConverter",
                         "No usable filter design!");
    m_order = static_cast<uint16_t>(len - 2);
    m_a = m_denominator;
    m_b = m_numerator;
    const float lead = m_a[1];
    if (lead != 1.0f) {
        for (size_t i = 1; i < len; ++i) {
            m_a[i] /= lead;
            m_b[i] /= lead;
        }
    }
    m_s.assign(static_cast<size_t>(m_order) + 1, 0.0f);
}

void SRSimpleSRConverter::Initialize() {
    SRSamplingRateConverter::Initialize();
    SpecifyFilter();
    DesignAndInstall();
}

void SRSimpleSRConverter::Reset() {
    std::fill(m_s.begin(), m_s.end(), 0.0f);
    m_downPhase = 0;
    m_upPhase = 0;
}

void SRSimpleSRConverter::ConvertUnits(SRJBuffer& in, SRJBuffer& out) {
    const uint32_t units = in.GetSizeBytes() / GetInputBufferUnitSize();
    out.SetSizeBytes(units * GetOutputBufferUnitSize());
    const uint32_t samples = in.GetSizeBytes() / 2;
    if (samples == 0) return;
    const uint8_t* src = in.GetBufferPtr();
    uint8_t* dst = out.GetBufferPtr();
    SRFilterTask task;
    if (MakeFilterTask(task)) {
        task.in = src;
        task.samples = samples;
        task.out = dst;
        afc_kernel::RunOrder6(task);
        return;
    }
    const Phases end = filter_any(m_order, m_a.data(), m_b.data(), m_s.data(), src, samples, dst, m_up, m_down,
                                  {m_upPhase, m_downPhase});
    m_upPhase = end.up;
    m_downPhase = end.down;
}

bool SRSimpleSRConverter::MakeFilterTask(SRFilterTask& task) {
    if (m_order != 6 || m_upPhase != 0) return false;
    task.a = m_a.data();
    task.b = m_b.data();
    task.s = m_s.data();
    task.L = m_up;
    task.M = m_down;
    task.downPhase = &m_downPhase;
    return true;
}
