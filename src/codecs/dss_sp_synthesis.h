// The decoder's integer arithmetic that an encoder must track exactly:
// reflection coefficients to the direct-form filter, the excitation
// (adaptive vector from the history plus pulses) and the synthesis filter
// 1/A(z). The decoder's post-filter, gain control and 288-to-264 sample
// interpolation come after this and are not modelled.
#pragma once

#include <array>
#include <cstdint>

#include "codecs/dss_sp_bitstream.h"

namespace vkt::codecs::dss_sp {

// Direct-form coefficients a[0..14], Q13 (a[0] = 8192), of A(z) = sum a[i] z^-i.
using DirectForm = std::array<int32_t, kOrder + 1>;

// The decoder's step-up from reflection coefficients (Q15) to the direct
// form, with its 16-bit clipping at every step. Returns false when a value
// was clipped: the filter the decoder then runs is not the one the
// coefficients describe and may be unstable.
bool step_up(const std::array<int16_t, kOrder>& reflection, DirectForm* a);
// One order of that step-up: from the filter of order m - 1 in `a` to that
// of order m with reflection coefficient k; false when a value was clipped.
inline bool step_up_order(int m, int32_t k, DirectForm* a);

// The reflection coefficients a frame's filter indices select.
std::array<int16_t, kOrder> reflection_of(const std::array<uint8_t, kOrder>& filter);

// The amplitude a pulse of the given level adds at the given fixed gain.
constexpr int32_t pulse_amplitude(int fixed_gain, int level) {
    return (kFixedGain[fixed_gain] * kPulseLevel[level] + 0x4000) >> 15;
}

// The excitation history: sample k of `h` is the excitation k samples before
// the current subframe (k = 1..186), kept as the decoder keeps it (32-bit,
// unclipped after the pulses were added).
class ExcitationHistory {
public:
    // The unscaled adaptive vector of a lag: the last `lag` samples repeated.
    void adaptive_vector(int lag, int32_t v[kSubframeLength]) const;
    // The scaled adaptive vector as the decoder forms it: clip16((gain * v) >> 11).
    void scaled_adaptive_vector(int lag, int gain_index, int32_t v[kSubframeLength]) const;
    // The whole excitation of a subframe: scaled adaptive vector plus pulses.
    void excitation(int lag, const SubframeParams& sf, int32_t e[kSubframeLength]) const;
    // Makes a subframe's excitation the newest history.
    void push(const int32_t e[kSubframeLength]);
    // Sample k (1..186) before the current subframe.
    int32_t at(int k) const { return h_[k]; }
    void reset() { h_.fill(0); }

private:
    std::array<int32_t, kMaxLag + 1> h_ = {};
};

// The synthesis filter 1/A(z) in the decoder's Q13 arithmetic; its memory
// holds the unclipped outputs of the last 14 samples.
class SynthesisFilter {
public:
    // Filters n samples; out[i] is the unclipped value (the decoder's output
    // sample is clip16 of it).
    void run(const DirectForm& a, const int32_t* in, int32_t* out, int n);
    // The last outputs: memory(1) is the newest.
    int32_t memory(int k) const { return mem_[k]; }
    void reset() { mem_.fill(0); }

private:
    std::array<int32_t, kOrder + 1> mem_ = {};
};

constexpr int32_t clip16(int32_t v) { return v > 32767 ? 32767 : (v < -32768 ? -32768 : v); }

inline bool step_up_order(int m, int32_t k, DirectForm* out) {
    DirectForm& a = *out;
    bool exact = true;
    auto clipped = [&exact](int32_t v) {
        const int32_t c = clip16(v);
        if (c != v) exact = false;
        return c;
    };
    a[m] = k >> 2;
    for (int i = 1; i <= m / 2; ++i) {
        const int32_t lo = a[i];
        const int32_t hi = a[m - i];
        a[i] = clipped(((lo << 15) + k * hi + 0x4000) >> 15);
        a[m - i] = clipped(((hi << 15) + k * lo + 0x4000) >> 15);
    }
    return exact;
}

}  // namespace vkt::codecs::dss_sp
