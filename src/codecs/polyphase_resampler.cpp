#include "codecs/polyphase_resampler.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace vkt::codecs {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAttenuationDb = 85.0;      // design target; the promise is 75 dB
constexpr double kTransition = 0.10;         // 0.45 .. 0.55 of the lower rate
constexpr size_t kMaxPrototypeTaps = 1 << 20;

// Zeroth-order modified Bessel function of the first kind, by its series.
double bessel_i0(double x) {
    double sum = 1.0, term = 1.0, q = x * x / 4.0;
    for (int k = 1; k < 60; ++k) {
        term *= q / (double(k) * k);
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

}  // namespace

PolyphaseResampler::PolyphaseResampler(uint32_t in_rate, uint32_t out_rate) {
    if (in_rate == 0 || out_rate == 0) throw std::invalid_argument("sampling rate 0");
    const uint32_t g = std::gcd(in_rate, out_rate);
    up_ = out_rate / g;
    down_ = in_rate / g;
    if (up_ == down_) {
        taps_ = 1;
        phases_ = {1.0f};
        reset();
        return;
    }
    // Prototype at L x the input rate. Cut-off half-way through the transition
    // band, at 0.5 of the lower rate; frequencies below relative to that rate.
    const double span = std::max(up_, down_);               // lower rate = L*fs_in / span
    const double cutoff = 0.5 / span;                       // cycles per prototype sample
    const double width = kTransition / span;                // transition, same unit
    const double beta = 0.1102 * (kAttenuationDb - 8.7);
    double length = (kAttenuationDb - 7.95) / (2.285 * 2 * kPi * width) + 1;
    taps_ = static_cast<size_t>(std::ceil(length / up_));
    taps_ = std::max<size_t>(taps_, 2);
    const size_t total = taps_ * up_;
    if (total > kMaxPrototypeTaps) throw std::invalid_argument("rate ratio too large");
    const double centre = (total - 1) / 2.0;
    std::vector<double> proto(total);
    for (size_t m = 0; m < total; ++m) {
        const double t = m - centre;
        const double sinc = t == 0 ? 2 * cutoff : std::sin(2 * kPi * cutoff * t) / (kPi * t);
        const double r = t / (centre + 0.5);
        const double window = bessel_i0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / bessel_i0(beta);
        proto[m] = sinc * window;
    }
    // Phase p holds proto[p + k L] for input x[n - k]; stored oldest input
    // first and scaled so that every phase passes DC with gain 1.
    phases_.assign(total, 0.0f);
    for (uint32_t p = 0; p < up_; ++p) {
        double sum = 0;
        for (size_t k = 0; k < taps_; ++k) sum += proto[p + k * up_];
        for (size_t k = 0; k < taps_; ++k)
            phases_[p * taps_ + (taps_ - 1 - k)] = static_cast<float>(proto[p + k * up_] / sum);
    }
    reset();
}

void PolyphaseResampler::reset() {
    history_.assign(taps_ - 1, 0.0f);
    next_ = uint64_t(taps_ - 1) * up_;
}

void PolyphaseResampler::align_to_input() {
    if (up_ == down_) return;
    // The prototype's centre, (K L - 1) / 2 steps of the L-fold grid,
    // rounded down to a whole step.
    next_ += (uint64_t(taps_) * up_ - 1) / 2;
}

double PolyphaseResampler::delay() const {
    if (up_ == down_) return 0.0;
    return (double(taps_) * up_ - 1) / (2.0 * up_);
}

void PolyphaseResampler::process(const float* in, size_t count, std::vector<float>& out) {
    history_.insert(history_.end(), in, in + count);
    const size_t available = history_.size();
    const float* x = history_.data();
    while (true) {
        const uint64_t n = next_ / up_;
        if (n >= available) break;
        const float* h = phases_.data() + (next_ % up_) * taps_;
        const float* src = x + (n + 1 - taps_);
        // Eight running sums, which the compiler keeps in vector lanes, so
        // that the products do not wait on each other.
        float a[8] = {};
        size_t k = 0;
        for (; k + 8 <= taps_; k += 8)
            for (size_t j = 0; j < 8; ++j) a[j] += src[k + j] * h[k + j];
        for (size_t j = 0; k < taps_; ++k, ++j) a[j] += src[k] * h[k];
        out.push_back(((a[0] + a[4]) + (a[1] + a[5])) + ((a[2] + a[6]) + (a[3] + a[7])));
        next_ += down_;
    }
    const size_t drop = available - (taps_ - 1);
    history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(drop));
    next_ -= uint64_t(drop) * up_;
}

void PolyphaseResampler::process(const int16_t* in, size_t count, std::vector<int16_t>& out) {
    scratch_.resize(count);
    for (size_t i = 0; i < count; ++i) scratch_[i] = in[i];
    produced_.clear();
    process(scratch_.data(), count, produced_);
    for (float v : produced_) {
        const float r = std::nearbyint(v);
        out.push_back(static_cast<int16_t>(std::clamp(r, -32768.0f, 32767.0f)));
    }
}

}  // namespace vkt::codecs
