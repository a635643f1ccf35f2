#include "codecs/dss_sp_synthesis.h"

namespace vkt::codecs::dss_sp {

bool step_up(const std::array<int16_t, kOrder>& reflection, DirectForm* out) {
    DirectForm& a = *out;
    a.fill(0);
    a[0] = 8192;
    bool exact = true;
    for (int m = 1; m <= kOrder; ++m) exact = step_up_order(m, reflection[m - 1], out) && exact;
    return exact;
}

std::array<int16_t, kOrder> reflection_of(const std::array<uint8_t, kOrder>& filter) {
    std::array<int16_t, kOrder> k{};
    for (int i = 0; i < kOrder; ++i) k[i] = kReflectionCodebook[i][filter[i]];
    return k;
}

void ExcitationHistory::adaptive_vector(int lag, int32_t v[kSubframeLength]) const {
    if (lag < kSubframeLength) {
        for (int i = 0; i < kSubframeLength; ++i) v[i] = h_[lag - i % lag];
    } else {
        for (int i = 0; i < kSubframeLength; ++i) v[i] = h_[lag - i];
    }
}

void ExcitationHistory::scaled_adaptive_vector(int lag, int gain_index, int32_t v[kSubframeLength]) const {
    adaptive_vector(lag, v);
    const int32_t g = kAdaptiveGain[gain_index];
    for (int i = 0; i < kSubframeLength; ++i) v[i] = clip16((g * v[i]) >> 11);
}

void ExcitationHistory::excitation(int lag, const SubframeParams& sf, int32_t e[kSubframeLength]) const {
    scaled_adaptive_vector(lag, sf.adaptive_gain, e);
    for (int i = 0; i < kPulses; ++i) e[sf.position[i]] += pulse_amplitude(sf.fixed_gain, sf.level[i]);
}

void ExcitationHistory::push(const int32_t e[kSubframeLength]) {
    for (int k = kMaxLag; k > kSubframeLength; --k) h_[k] = h_[k - kSubframeLength];
    for (int i = 0; i < kSubframeLength; ++i) h_[kSubframeLength - i] = e[i];
}

void SynthesisFilter::run(const DirectForm& a, const int32_t* in, int32_t* out, int n) {
    for (int s = 0; s < n; ++s) {
        // The decoder sums in 32-bit integers; unsigned arithmetic gives the
        // same wrapped result without undefined behaviour.
        uint32_t acc = static_cast<uint32_t>(in[s]) * static_cast<uint32_t>(a[0]);
        for (int i = kOrder; i > 0; --i) acc -= static_cast<uint32_t>(mem_[i]) * static_cast<uint32_t>(a[i]);
        const int32_t t = static_cast<int32_t>(acc + 4096u) >> 13;
        for (int i = kOrder; i > 1; --i) mem_[i] = mem_[i - 1];
        mem_[1] = t;
        out[s] = t;
    }
}

}  // namespace vkt::codecs::dss_sp
