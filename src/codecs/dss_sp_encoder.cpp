#include "codecs/dss_sp_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vkt::codecs {

using namespace dss_sp;

namespace {

constexpr int N = kSubframeLength;

// Gaussian lag windows (bandwidth as a fraction of the sampling rate) and
// white-noise floors on r[0]. The weighting filter's floor is the higher: it
// keeps the weighting from digging deep valleys between the peaks of its
// finer model, where the decoded speech then came out with too much noise
// below about 2 kHz.
constexpr double kLagWindow = 0.004;
constexpr double kWeightLagWindow = 0.004;
constexpr double kNoiseFloor = 1.0005;
constexpr double kWeightNoiseFloor = 1.0013;
// Denominator factor of the weighting filter.
constexpr double kWeightPole = 0.35;
// The input is pre-emphasized, (1 - e z^-1) / (1 - e) (see Tuning); before
// that, a minimum-phase equaliser, unity at 0 Hz, fitted to the average
// spectral error of the decoded speech: about +1 dB at 3.5 kHz rising to +3 dB
// near 5 kHz, where the decoder's interpolator and the coding lose level,
// and -1 dB around 2.5 kHz.
constexpr std::array<float, 5> kEqualiser = {1.03723f, -0.09773f, 0.03597f, 0.10689f, -0.08237f};
// The decoder post-filter's factors.
constexpr double kPostZero = 0.5;
constexpr double kPostPole = 0.8;
// The decoder's gain control: each sample the gain moves from its last value
// towards the subframe's ratio of synthesis to post-filtered magnitude by
// 409/32768, so it lags behind changes by about 80 samples. Summed
// post-filtered magnitudes under 64 set the ratio to 1/2048 (its Q11 step),
// summed synthesis magnitudes are capped at 0xFFFFF.
constexpr double kGainKeep = 32358.0 / 32768.0;
constexpr double kGainStep = 409.0 / 32768.0;
constexpr double kQuietRatio = 1.0 / 2048.0;
// The target is scaled by half the ratio of the steady gain to the lagging
// one, at most 8 times: compensating all of the lag does worse.
constexpr double kGainFollow = 0.5;
constexpr double kGainFollowLimit = 8.0;
// The error below about 20 Hz weighs up to four times more (pole 0.99 at
// 12 kHz): left alone, the coding noise there stands far above the speech,
// which has next to nothing so low.
constexpr float kLowPole = 0.99f;
constexpr float kLowBoost = 3.0f;
// Open-loop pitch: frames whose input correlates at least this well with
// itself one period back are voiced.
constexpr float kVoiced = 0.6f;
// In a voiced frame the first subframe's lags lie within this many samples
// of the open-loop pitch; the three best of them are compared with their
// pulses, in the other subframes the two best.
constexpr int kOpenLoopReach = 23;
constexpr int kFirstLagCandidates = 3;
constexpr int kLagCandidates = 2;
// Neighbours of the adaptive gain tried again with the pulses chosen.
constexpr int kGainRefineRange = 2;

constexpr int kWindowLength = 96 + kFrameLength;  // the encoder's past input and one frame

// The analysis window: a raised-cosine rise over the past samples and most of
// the frame, then a quarter-cosine fall over its last subframe.
struct AnalysisWindow {
    std::array<float, kWindowLength> w{};
    AnalysisWindow() {
        const int fall = N;
        const int rise = kWindowLength - fall;
        for (int i = 0; i < rise; ++i) w[i] = static_cast<float>(0.54 - 0.46 * std::cos(M_PI * i / rise));
        for (int i = 0; i < fall; ++i) w[rise + i] = static_cast<float>(std::cos(0.5 * M_PI * (i + 0.5) / fall));
    }
};
const AnalysisWindow kAnalysisWindow;

double gaussian(double bandwidth, int lag) {
    const double x = 2 * M_PI * bandwidth * lag;
    return std::exp(-0.5 * x * x);
}

}  // namespace

DssSpEncoder::Tuning DssSpEncoder::tuning_for(int sample_rate) {
    // Chosen by measurement on espeak-ng speech at each rate (see
    // dss_sp_encoder.md).
    if (sample_rate == 8000) return {0.95, 0.95, kWeightNoiseFloor, 0.1f, false};
    return {0.98, 0.985, 1.003, 0.15f, true};
}

DssSpEncoder::DssSpEncoder(int sample_rate) : tuning_(tuning_for(sample_rate)) { reset(); }

void DssSpEncoder::reset() {
    params_ = FrameParams{};
    history_.reset();
    synthesis_.reset();
    direct_.fill(0);
    direct_[0] = 8192;
    quantized_ = polynomial_of(direct_);
    weight_num_.fill(0);
    weight_den_.fill(0);
    emphasis_mem_ = 0;
    pitch_input_.fill(0);
    open_loop_lag_ = 0;
    equaliser_mem_.fill(0);
    input_.fill(0);
    error_mem_.fill(0);
    weighted_mem_.fill(0);
    inverse_ = PoleZeroMemory{};
    inverse_tilt_ = 0;
    compensated_past_.fill(0);
    level_gain_ = 1;
    subframe_level_.fill(1);
    weighted_post_mem_ = PostFilterMemory{};
    output_post_mem_ = PostFilterMemory{};
    decoder_gain_ = 0;
    low_weight_mem_ = 0;
    previous_lag_ = kMinLag;
}

void DssSpEncoder::encode(const int16_t pcm[kFrameLength], uint8_t frame[kFrameBytes]) {
    static_assert(kPast + kFrameLength == kWindowLength);
    std::memmove(input_.data(), input_.data() + kFrameLength, kPast * sizeof(float));
    std::memmove(pitch_input_.data(), pitch_input_.data() + kFrameLength, kMaxLag * sizeof(float));
    float* s = input_.data() + kPast;
    for (int i = 0; i < kFrameLength; ++i) {
        float v = kEqualiser[0] * pcm[i];
        for (size_t k = 1; k < kEqualiser.size(); ++k) v += kEqualiser[k] * equaliser_mem_[k];
        for (size_t k = kEqualiser.size() - 1; k > 1; --k) equaliser_mem_[k] = equaliser_mem_[k - 1];
        equaliser_mem_[1] = pcm[i];
        s[i] = (v - tuning_.emphasis * emphasis_mem_) / (1 - tuning_.emphasis);
        emphasis_mem_ = v;
    }
    std::copy(s, s + kFrameLength, pitch_input_.begin() + kMaxLag);
    open_loop_lag_ = open_loop_lag();
    analyse();
    // The filter is fitted to what we code: undo the post-filter of the
    // input's filter on trial, fit the filter to the result, and undo the
    // post-filter of that one.
    float t[kFrameLength];
    compensate_post_filter(s, t, false);
    float buf[kWindowLength];
    for (int i = 0; i < kWindowLength; ++i)
        buf[i] = (i < kPast ? compensated_past_[i] : t[i - kPast]) * kAnalysisWindow.w[i];
    fit_filter(buf);
    compensate_post_filter(s, t, true);
    std::copy(t + kFrameLength - kPast, t + kFrameLength, compensated_past_.begin());
    for (int j = 0; j < kSubframes; ++j) {
        follow_decoder_gain(j, t + j * N);
        encode_subframe(j, t + j * N);
    }
    pack_frame(params_, frame);
}

void DssSpEncoder::fit_filter(const float* windowed) {
    Autocorrelation r = autocorrelate(windowed, kWindowLength);
    r[0] *= kNoiseFloor;
    for (int i = 1; i <= kOrder; ++i) r[i] *= gaussian(kLagWindow, i);
    Polynomial a;
    std::array<double, kOrder> k;
    levinson(r, &a, &k);
    params_.filter = quantize_filter(r, a, &direct_);
    quantized_ = polynomial_of(direct_);
}

void DssSpEncoder::analyse() {
    float buf[kWindowLength];
    for (int i = 0; i < kWindowLength; ++i) buf[i] = input_[i] * kAnalysisWindow.w[i];
    fit_filter(buf);

    // The weighting filter uses a finer model of the spectrum than the one
    // the decoder gets, so that the noise also stays out of narrow valleys.
    double rw[kWeightOrder + 1], aw[kWeightOrder + 1];
    autocorrelate(buf, kWindowLength, kWeightOrder, rw);
    // At 12 kHz voiced frames do better with a flatter model: the noise
    // between their harmonics is what the finer model's valleys let through.
    const bool voiced = open_loop_lag_ > 0;
    rw[0] *= voiced ? tuning_.voiced_floor : kWeightNoiseFloor;
    for (int i = 1; i <= kWeightOrder; ++i) rw[i] *= gaussian(kWeightLagWindow, i);
    levinson(rw, kWeightOrder, aw, nullptr);
    const double zero = voiced ? tuning_.voiced_weight_zero : tuning_.weight_zero;
    double gn = 1, gd = 1;
    for (int i = 0; i <= kWeightOrder; ++i) {
        weight_num_[i] = static_cast<float>(aw[i] * gn);
        weight_den_[i] = static_cast<float>(aw[i] * gd);
        gn *= zero;
        gd *= kWeightPole;
    }
}

void DssSpEncoder::compensate_post_filter(const float* s, float* t, bool commit) {
    // The decoder follows 1/A(z) with P(z) = A(z/0.5) / A(z/0.8) (1 + m z^-1),
    // m = min(0, k1 / 2), and scales the result back to the level of its
    // input. We code t = P^-1 s instead of s, each subframe brought to the
    // level of s, and weigh the error after P (encode_subframe): the decoded
    // speech keeps the input's balance between formants and valleys, and
    // the coding noise is shaped as the weighting filter wants it after the
    // post-filter.
    double gn = 1, gd = 1;
    for (int i = 0; i <= kOrder; ++i) {
        post_.num[i] = static_cast<float>(quantized_[i] * gn);
        post_.den[i] = static_cast<float>(quantized_[i] * gd);
        gn *= kPostZero;
        gd *= kPostPole;
    }
    const int half_k1 = kReflectionCodebook[0][params_.filter[0]] >> 1;
    post_.tilt = static_cast<float>(std::min(0, half_k1) / 32768.0);
    // The inverse: numerator A(z/0.8), denominator A(z/0.5), then 1 / (1 + m z^-1).
    const float* num = post_.den.data();
    const float* den = post_.num.data();
    const float tilt = post_.tilt;
    const PoleZeroMemory saved = inverse_;
    const float saved_tilt = inverse_tilt_;
    inverse_.run(num, den, s, t, kFrameLength);
    for (int n = 0; n < kFrameLength; ++n) {
        inverse_tilt_ = t[n] - tilt * inverse_tilt_;
        t[n] = inverse_tilt_;
    }
    // At 12 kHz the level gain of each subframe is reached by a ramp from the
    // last one: a step at the subframe's start would add a click to code.
    // (In the longer subframes of the 8 kHz clock the plain step does better.)
    float previous = level_gain_;
    for (int j = 0; j < kSubframes; ++j) {
        double level_s = 0, level_t = 0;
        for (int n = j * N; n < (j + 1) * N; ++n) {
            level_s += std::fabs(s[n]);
            level_t += std::fabs(t[n]);
        }
        const float g = level_t > 0 ? static_cast<float>(level_s / level_t) : previous;
        for (int i = 0; i < N; ++i)
            t[j * N + i] *= tuning_.level_ramp ? previous + (g - previous) * static_cast<float>(i + 1) / N : g;
        previous = g;
        subframe_level_[j] = g;
    }
    if (commit) {
        level_gain_ = previous;
    } else {
        inverse_ = saved;
        inverse_tilt_ = saved_tilt;
    }
}

void DssSpEncoder::PoleZeroMemory::run(const float* num, const float* den, const float* x, float* y, int n) {
    // The memories oldest first in front of the samples: sample k at [kOrder + k].
    float xs[kOrder + kFrameLength], ys[kOrder + kFrameLength];
    for (int i = 1; i <= kOrder; ++i) {
        xs[kOrder - i] = in[i];
        ys[kOrder - i] = out[i];
    }
    for (int k = 0; k < n; ++k) {
        float acc = x[k];
        for (int i = 1; i <= kOrder; ++i) acc += num[i] * xs[kOrder + k - i] - den[i] * ys[kOrder + k - i];
        xs[kOrder + k] = x[k];
        ys[kOrder + k] = acc;
        y[k] = acc;
    }
    for (int i = 1; i <= kOrder; ++i) {
        in[i] = xs[kOrder + n - i];
        out[i] = ys[kOrder + n - i];
    }
}

void DssSpEncoder::PostFilterMemory::run(const PostFilter& f, const float* x, float* y, int n) {
    pole_zero.run(f.num.data(), f.den.data(), x, y, n);
    for (int k = 0; k < n; ++k) {
        const float acc = y[k];
        y[k] = acc + f.tilt * last;
        last = acc;
    }
}

void DssSpEncoder::weigh_low_frequencies(float* mem, const float* x, float* y) {
    // y = x + b (1 - p) / (1 - p z^-1) x: unity above a few tens of hertz,
    // 1 + b at 0 Hz.
    for (int n = 0; n < N; ++n) {
        *mem = kLowPole * *mem + x[n];
        y[n] = x[n] + kLowBoost * (1 - kLowPole) * *mem;
    }
}

void DssSpEncoder::follow_decoder_gain(int j, float* t) const {
    // In steady state the decoder's gain is the ratio of synthesis to
    // post-filtered magnitude, about 1 / level gain of compensate_post_filter.
    // While its gain still rises towards that (after a pause, at an onset),
    // the output comes out too quiet: ask the synthesis for more.
    const double level = subframe_level_[j];
    const double ratio = level > 1e-3 ? 1.0 / level : kQuietRatio;
    double gain = decoder_gain_;
    for (int n = 0; n < N; ++n) {
        gain = gain * kGainKeep + ratio * kGainStep;
        const double lag = std::min(ratio / std::max(gain, 1e-9), kGainFollowLimit);
        t[n] *= static_cast<float>(1 + kGainFollow * (std::max(lag, 1.0) - 1));
    }
}

void DssSpEncoder::track_decoder_gain(const int32_t* out) {
    float y[N], p[N];
    double synthesized = 0, filtered = 0;
    for (int n = 0; n < N; ++n) {
        y[n] = static_cast<float>(out[n]);
        synthesized += std::fabs(y[n]);
    }
    output_post_mem_.run(post_, y, p, N);
    for (int n = 0; n < N; ++n) filtered += std::fabs(p[n]);
    synthesized = std::min(synthesized, static_cast<double>(0xFFFFF));
    const double ratio = filtered >= 64 ? synthesized / filtered : kQuietRatio;
    for (int n = 0; n < N; ++n) decoder_gain_ = decoder_gain_ * kGainKeep + ratio * kGainStep;
}

void DssSpEncoder::encode_subframe(int j, const float* t) {
    // Target: the weighted error left when the new excitation is zero, from
    // the decoder's synthesis memory and the memories of the weighting
    // filter and of the post-filter behind it. The error is weighed after the
    // decoder's post-filter, with more weight at the lowest frequencies:
    // L(z) P(z) W(z) (t - s^).
    // Filter memories are laid out oldest first in front of the subframe's
    // samples: sample n sits at [order + n], its i-th predecessor at
    // [order + n - i].
    constexpr int W = kWeightOrder;
    float x[N];
    {
        float syn[kOrder + N], em[W + N], wm[W + N];
        for (int i = 1; i <= kOrder; ++i) syn[kOrder - i] = static_cast<float>(synthesis_.memory(i));
        for (int i = 1; i <= W; ++i) {
            em[W - i] = error_mem_[i];
            wm[W - i] = weighted_mem_[i];
        }
        float q[kOrder + 1];
        for (int i = 0; i <= kOrder; ++i) q[i] = static_cast<float>(quantized_[i]);
        for (int n = 0; n < N; ++n) {
            float ringing = 0;
            for (int i = 1; i <= kOrder; ++i) ringing -= q[i] * syn[kOrder + n - i];
            syn[kOrder + n] = ringing;
            const float err = t[n] - ringing;
            float acc = err;
            for (int i = 1; i <= W; ++i) acc += weight_num_[i] * em[W + n - i] - weight_den_[i] * wm[W + n - i];
            em[W + n] = err;
            wm[W + n] = acc;
            x[n] = acc;
        }
        PostFilterMemory m = weighted_post_mem_;
        m.run(post_, x, x, N);
        float low = low_weight_mem_;
        weigh_low_frequencies(&low, x, x);
    }

    // Impulse response of the weighted synthesis filter L(z) P(z) W(z) / A^(z).
    float h[N];
    {
        float syn[N], num[N];
        for (int n = 0; n < N; ++n) {
            float acc = n == 0 ? 1.0f : 0.0f;
            for (int i = 1; i <= std::min(n, kOrder); ++i) acc -= static_cast<float>(quantized_[i]) * syn[n - i];
            syn[n] = acc;
        }
        for (int n = 0; n < N; ++n) {
            float acc = syn[n];
            for (int i = 1; i <= std::min(n, kWeightOrder); ++i) acc += weight_num_[i] * syn[n - i];
            num[n] = acc;
        }
        for (int n = 0; n < N; ++n) {
            float acc = num[n];
            for (int i = 1; i <= std::min(n, kWeightOrder); ++i) acc -= weight_den_[i] * h[n - i];
            h[n] = acc;
        }
        PostFilterMemory m;
        m.run(post_, h, h, N);
        float low = 0;
        weigh_low_frequencies(&low, h, h);
    }

    choose_excitation(j, x, h);

    // The decoder's excitation and synthesis, exactly; then the weighting
    // filter's memory from the true error.
    int32_t e[N], out[N];
    history_.excitation(params_.lag[j], params_.sub[j], e);
    history_.push(e);
    synthesis_.run(direct_, e, out, N);
    track_decoder_gain(out);
    float em[W + N], wm[W + N];
    for (int i = 1; i <= W; ++i) {
        em[W - i] = error_mem_[i];
        wm[W - i] = weighted_mem_[i];
    }
    for (int n = 0; n < N; ++n) {
        const float err = t[n] - static_cast<float>(out[n]);
        float acc = err;
        for (int i = 1; i <= W; ++i) acc += weight_num_[i] * em[W + n - i] - weight_den_[i] * wm[W + n - i];
        em[W + n] = err;
        wm[W + n] = acc;
    }
    float weighted[N];
    weighted_post_mem_.run(post_, wm + W, weighted, N);
    weigh_low_frequencies(&low_weight_mem_, weighted, weighted);
    for (int i = 1; i <= W; ++i) {
        error_mem_[i] = em[W + N - i];
        weighted_mem_[i] = wm[W + N - i];
    }
}

int DssSpEncoder::open_loop_lag() const {
    // Normalized correlation of the first half of the frame (the first
    // subframe's lag is the one that matters) with itself `lag` samples back.
    constexpr int kSpan = kFrameLength / 2;
    static_assert(kSpan % 8 == 0);
    const float* s = pitch_input_.data() + kMaxLag;
    float frame_energy = 0, past_energy = 0;
    for (int n = 0; n < kSpan; ++n) {
        frame_energy += s[n] * s[n];
        past_energy += s[n - kMinLag] * s[n - kMinLag];
    }
    int best = 0;
    float best_score = kVoiced;
    for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
        if (lag > kMinLag) {
            // The window one sample further back.
            past_energy += s[-lag] * s[-lag] - s[kSpan - lag] * s[kSpan - lag];
        }
        float part[8] = {};
        for (int n = 0; n < kSpan; n += 8)
            for (int k = 0; k < 8; ++k) part[k] += s[n + k] * s[n + k - lag];
        const float c = ((part[0] + part[4]) + (part[1] + part[5])) + ((part[2] + part[6]) + (part[3] + part[7]));
        const float e = frame_energy * past_energy;
        if (c > 0 && e > 0 && c >= best_score * std::sqrt(e)) {
            best_score = c / std::sqrt(e);
            best = lag;
        }
    }
    return best;
}

void DssSpEncoder::choose_excitation(int j, const float* x, const float* h) {
    // The lags the pitch coding allows; in the first subframe of a voiced
    // frame only those near the open-loop pitch, which also sets the window
    // of the other three: a lag that happens to fit the first subframe's
    // coarse history better would keep the frame off the pitch.
    int lo = kMinLag, hi = kMaxLag, candidates = 1;
    if (j > 0) {
        lo = lag_base(params_.lag[j - 1]);
        hi = lo + kLagDeltas - 1;
        candidates = kLagCandidates;
    } else if (open_loop_lag_ > 0) {
        lo = std::max(kMinLag, open_loop_lag_ - kOpenLoopReach);
        hi = std::min(kMaxLag, open_loop_lag_ + kOpenLoopReach);
        candidates = kFirstLagCandidates;
    }
    static_assert(kLagCandidates <= kFirstLagCandidates);
    LagCandidate lags[kFirstLagCandidates];
    int count = search_lags(history_, lo, hi, x, h, lags, candidates);
    if (count == 0) {
        // Nothing in the history helps: keep the lag, so that the next
        // subframes can still reach the pitch, and take the smallest gain.
        lags[0] = LagCandidate{};
        lags[0].lag = std::clamp(j > 0 ? params_.lag[j - 1] : previous_lag_, lo, hi);
        count = 1;
    }

    // Each candidate's adaptive vector at the table gain nearest its
    // optimum, taken off the target; the pulses then complete the exact
    // integer vector of that gain. Candidates are compared by the pulses
    // placed one by one; the full pulse search runs for the best.
    correlation_.compute(h);
    struct Trial {
        int gain = 0;
        float d[N];
    } trials[kFirstLagCandidates];
    int chosen = 0;
    float best = std::numeric_limits<float>::infinity();
    for (int c = 0; c < count; ++c) {
        Trial& trial = trials[c];
        const double g = lags[c].energy > 0 ? lags[c].corr / lags[c].energy * 2048.0 : 0.0;
        for (int i = 1; i < 32; ++i)
            if (std::fabs(kAdaptiveGain[i] - g) < std::fabs(kAdaptiveGain[trial.gain] - g)) trial.gain = i;
        int32_t v[N];
        history_.scaled_adaptive_vector(lags[c].lag, trial.gain, v);
        float vf[N], y[N], x2[N];
        for (int i = 0; i < N; ++i) vf[i] = static_cast<float>(v[i]);
        convolve(h, vf, y);
        float err = 0;
        for (int n = 0; n < N; ++n) {
            x2[n] = x[n] - y[n];
            err += x2[n] * x2[n];
        }
        for (int p = 0; p < N; ++p) {
            float acc = 0;
            for (int n = p; n < N; ++n) acc += x2[n] * h[n - p];
            trial.d[p] = acc;
        }
        if (count == 1) break;
        err += estimate_pulses(trial.d, correlation_);
        if (err < best) {
            best = err;
            chosen = c;
        }
    }
    SubframeParams& sf = params_.sub[j];
    params_.lag[j] = lags[chosen].lag;
    sf.adaptive_gain = static_cast<uint8_t>(trials[chosen].gain);
    store_pulses(search_pulses(trials[chosen].d, correlation_), &sf);
    if (j == kSubframes - 1) previous_lag_ = params_.lag[j];
    refine_gains(params_.lag[j], x, h, &sf);
}

void DssSpEncoder::refine_gains(int lag, const float* x, const float* h, SubframeParams* sf) const {
    // The adaptive gain was chosen alone, the pulses for it: now the
    // neighbouring adaptive gains with the pulses as they are. The filtered
    // adaptive vector is taken as proportional to the gain (the decoder's
    // floor rounding and clipping move it by a unit at most).
    float pulses[N] = {}, yp[N];
    for (int k = 0; k < kPulses; ++k)
        pulses[sf->position[k]] += static_cast<float>(pulse_amplitude(sf->fixed_gain, sf->level[k]));
    convolve(h, pulses, yp);
    int32_t v[N];
    history_.adaptive_vector(lag, v);
    float vf[N], y[N];
    for (int i = 0; i < N; ++i) vf[i] = static_cast<float>(v[i]);
    convolve(h, vf, y);
    // The error x - yp - a y as a function of the gain a.
    float ry = 0, yy = 0;
    for (int n = 0; n < N; ++n) {
        ry += (x[n] - yp[n]) * y[n];
        yy += y[n] * y[n];
    }
    const int first = std::max(0, sf->adaptive_gain - kGainRefineRange);
    const int last = std::min(31, sf->adaptive_gain + kGainRefineRange);
    float best = std::numeric_limits<float>::infinity();
    for (int gain = first; gain <= last; ++gain) {
        const float a = kAdaptiveGain[gain] / 2048.0f;
        const float change = a * (a * yy - 2 * ry);
        if (change < best) {
            best = change;
            sf->adaptive_gain = static_cast<uint8_t>(gain);
        }
    }
}

}  // namespace vkt::codecs
