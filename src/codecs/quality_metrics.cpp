#include "codecs/quality_metrics.h"

#include <algorithm>
#include <cmath>

namespace vkt::codecs {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Power spectrum of one Hann-windowed frame, bins 0..n/2, by a plain DFT
// over precomputed tables (the frames are short and this is no hot path).
class Spectrum {
public:
    explicit Spectrum(size_t n) : n_(n), window_(n), cos_(n), sin_(n) {
        for (size_t i = 0; i < n; ++i) {
            window_[i] = 0.5 - 0.5 * std::cos(2 * kPi * i / n);
            cos_[i] = std::cos(2 * kPi * i / n);
            sin_[i] = std::sin(2 * kPi * i / n);
        }
    }
    void power(const int16_t* x, std::vector<double>& out) const {
        std::vector<double> w(n_);
        for (size_t i = 0; i < n_; ++i) w[i] = x[i] * window_[i];
        out.assign(n_ / 2 + 1, 0.0);
        for (size_t k = 0; k <= n_ / 2; ++k) {
            double re = 0, im = 0;
            size_t idx = 0;
            for (size_t i = 0; i < n_; ++i) {
                re += w[i] * cos_[idx];
                im -= w[i] * sin_[idx];
                idx += k;
                if (idx >= n_) idx -= n_;
            }
            out[k] = re * re + im * im;
        }
    }

private:
    size_t n_;
    std::vector<double> window_, cos_, sin_;
};

double energy(const int16_t* x, size_t n) {
    double e = 0;
    for (size_t i = 0; i < n; ++i) e += double(x[i]) * x[i];
    return e;
}

}  // namespace

SpeechQuality measure_speech_quality(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                                     size_t delay, uint32_t rate) {
    SpeechQuality q;
    if (decoded.size() <= delay) return q;
    const size_t length = std::min(reference.size(), decoded.size() - delay);
    const int16_t* ref = reference.data();
    const int16_t* dec = decoded.data() + delay;

    // Log-spectral distance over 32 ms frames.
    const size_t lsd_frame = rate * 32 / 1000;
    const size_t frames = length / lsd_frame;
    double loudest = 0;
    for (size_t f = 0; f < frames; ++f) loudest = std::max(loudest, energy(ref + f * lsd_frame, lsd_frame));
    const double floor = loudest * 1e-4;
    Spectrum spectrum(lsd_frame);
    std::vector<double> pr, pd;
    double lsd_sum = 0;
    for (size_t f = 0; f < frames; ++f) {
        if (energy(ref + f * lsd_frame, lsd_frame) < floor || floor == 0) continue;
        spectrum.power(ref + f * lsd_frame, pr);
        spectrum.power(dec + f * lsd_frame, pd);
        // Both spectra are clamped 50 dB below the reference frame's peak:
        // what lies further down is inaudible beside it.
        const double clamp = *std::max_element(pr.begin(), pr.end()) * 1e-5;
        double sum = 0;
        for (size_t k = 0; k < pr.size(); ++k) {
            const double d = 10 * std::log10(std::max(pr[k], clamp)) - 10 * std::log10(std::max(pd[k], clamp));
            sum += d * d;
        }
        lsd_sum += std::sqrt(sum / pr.size());
        ++q.active_frames;
    }
    if (q.active_frames) q.log_spectral_distance_db = lsd_sum / q.active_frames;

    // Segmental SNR over 16 ms frames.
    const size_t snr_frame = rate * 16 / 1000;
    const size_t snr_frames = length / snr_frame;
    double snr_sum = 0;
    size_t snr_count = 0;
    for (size_t f = 0; f < snr_frames; ++f) {
        const int16_t* r = ref + f * snr_frame;
        const int16_t* d = dec + f * snr_frame;
        const double signal = energy(r, snr_frame);
        if (signal < floor * snr_frame / lsd_frame || floor == 0) continue;
        double noise = 0;
        for (size_t i = 0; i < snr_frame; ++i) noise += (double(r[i]) - d[i]) * (double(r[i]) - d[i]);
        const double snr = noise == 0 ? 35.0 : 10 * std::log10(signal / noise);
        snr_sum += std::clamp(snr, -10.0, 35.0);
        ++snr_count;
    }
    if (snr_count) q.segmental_snr_db = snr_sum / snr_count;
    return q;
}

}  // namespace vkt::codecs
