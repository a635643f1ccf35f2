// The codebook searches of the DSS standard-play encoder, in the weighted
// domain of one 72-sample subframe: the target x is the weighted signal
// minus what the past already contributes, h the impulse response of the
// weighted synthesis filter. Floating point is used for the search only; the
// chosen excitation is then formed with the decoder's integer arithmetic.
#pragma once

#include <array>
#include <cstdint>

#include "codecs/dss_sp_synthesis.h"

namespace vkt::codecs::dss_sp {

inline constexpr int kSubframe = kSubframeLength;

// y = h * x over one subframe (causal, truncated to 72 samples).
void convolve(const float* h, const float* x, float* y);

// The correlations of the filtered unit pulses: phi[i][j] = sum over n of
// h[n - i] h[n - j].
struct PulseCorrelation {
    float phi[kSubframe][kSubframe];
    float diagonal[kSubframe];
    float inverse_diagonal[kSubframe];
    void compute(const float* h);
};

struct LagCandidate {
    int lag = kMinLag;
    float corr = 0;    // x . y
    float energy = 0;  // y . y, y the filtered unscaled adaptive vector
};

// The lags from lo to hi whose filtered adaptive vectors match the target
// best (largest corr^2 / energy with positive corr), best first; at most
// `capacity` of them. Returns how many were found (0 when none correlates
// positively).
int search_lags(const ExcitationHistory& history, int lo, int hi, const float* x, const float* h,
                LagCandidate* out, int capacity);

// Seven pulses and their gain for a target, given its back-filtered form
// d = H'x.
struct PulseChoice {
    std::array<int, kPulses> position = {6, 5, 4, 3, 2, 1, 0};
    std::array<int, kPulses> level = {4, 4, 4, 4, 4, 4, 4};
    int gain = 0;     // fixed gain index; 0 adds nothing
    float err = 0;    // change of the weighted error against no pulses (<= 0)
};

// For a given gain index: pulses placed one by one at the position and level
// that lower the error most, then in up to `passes` passes each moved in
// turn to its best place while that still lowers the error.
inline constexpr int kMovingPasses = 3;
PulseChoice place_pulses(const float* d, const PulseCorrelation& pc, int gain, int passes = kMovingPasses);

// The best of place_pulses over the gains whose top level lies near the
// best single pulse (the moving passes for the two gains that did best
// without them); gain 0 when no pulse helps.
PulseChoice search_pulses(const float* d, const PulseCorrelation& pc);

// The error change of pulses placed one by one (no moving passes) at the
// best of three gains around the one search_pulses starts from: a cheap
// estimate for comparing targets.
float estimate_pulses(const float* d, const PulseCorrelation& pc);

// Fills a subframe's fields from a pulse choice (positions descending).
void store_pulses(const PulseChoice& choice, SubframeParams* sf);

}  // namespace vkt::codecs::dss_sp
