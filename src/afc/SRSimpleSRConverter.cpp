#include "afc/SRSimpleSRConverter.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "afc/SException.h"

static_assert(std::endian::native == std::endian::little, "samples are read and written as little-endian words");

namespace {

inline float load_sample(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return static_cast<float>(v);
}

// L x y in single precision, compared in double precision, clipped to
// +-32767 and rounded half away from zero.
inline void store_sample(uint8_t* p, float gain, float y) {
    const float v = gain * y;
    const double dv = v;
    int16_t r;
    if (dv > 32767.0)
        r = 32767;
    else if (dv < -32767.0)
        r = -32767;
    else
        r = static_cast<int16_t>(dv >= 0.0 ? dv + 0.5 : dv - 0.5);
    std::memcpy(p, &r, 2);
}

struct Phases {
    uint32_t up;
    uint32_t down;
};

// One pass over `samples` input samples of an order-6 filter, starting at
// an input sample (up phase 0), with coefficients and state in registers.
// A step with an input sample runs the full recursion; a zero-stuffed step
// drops the b terms, which changes no bit of the result (b*0 - a*y + s is
// s - a*y exactly, and the sign of a zero never reaches a nonzero value).
Phases filter_order6(const float* a, const float* b, float* s, const uint8_t* in, uint32_t samples, uint8_t* out,
                     uint32_t L, uint32_t M, Phases ph) {
    const float a2 = a[2], a3 = a[3], a4 = a[4], a5 = a[5], a6 = a[6], a7 = a[7];
    const float b1 = b[1], b2 = b[2], b3 = b[3], b4 = b[4], b5 = b[5], b6 = b[6], b7 = b[7];
    float s1 = s[1], s2 = s[2], s3 = s[3], s4 = s[4], s5 = s[5], s6 = s[6];
    const float gain = static_cast<float>(L);
    uint32_t down = ph.down;

    for (uint32_t i = 0; i < samples; ++i) {
        const float x = load_sample(in + 2 * i);
        float y = b1 * x + s1;
        s1 = (b2 * x - a2 * y) + s2;
        s2 = (b3 * x - a3 * y) + s3;
        s3 = (b4 * x - a4 * y) + s4;
        s4 = (b5 * x - a5 * y) + s5;
        s5 = (b6 * x - a6 * y) + s6;
        s6 = b7 * x - a7 * y;
        if (down == 0) {
            store_sample(out, gain, y);
            out += 2;
        }
        if (++down == M) down = 0;
        for (uint32_t j = 1; j < L; ++j) {
            y = s1;
            s1 = s2 - a2 * y;
            s2 = s3 - a3 * y;
            s3 = s4 - a4 * y;
            s4 = s5 - a5 * y;
            s5 = s6 - a6 * y;
            s6 = -(a7 * y);
            if (down == 0) {
                store_sample(out, gain, y);
                out += 2;
            }
            if (++down == M) down = 0;
        }
    }
    s[1] = s1;
    s[2] = s2;
    s[3] = s3;
    s[4] = s4;
    s[5] = s5;
    s[6] = s6;
    return {0, down};
}

// Any other order, or a call that starts between an input sample and its
// zeros: the same recursion over the arrays.
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
    m_stepCount = m_up * m_down;
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
    m_stepCount = m_up * m_down;
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
    const Phases start{m_upPhase, m_downPhase};
    Phases end;
    if (m_order == 6 && m_upPhase == 0)
        end = filter_order6(m_a.data(), m_b.data(), m_s.data(), src, samples, dst, m_up, m_down, start);
    else
        end = filter_any(m_order, m_a.data(), m_b.data(), m_s.data(), src, samples, dst, m_up, m_down, start);
    m_upPhase = end.up;
    m_downPhase = end.down;
}
