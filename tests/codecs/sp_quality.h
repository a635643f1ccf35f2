// Measuring a DSS SP round trip: libavcodec's dss_sp decoder, a resampler to
// the decoder's clock and quality measures. Shared with the encoder benchmark.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace sp_quality {

// The decoder turns 288 samples into 264; output sample m lies at input time
// 12m/11 - 2.9 (measured on espeak-ng speech, see dss_sp_encoder.md).
inline constexpr double kDecoderDelay = 2.9;

// 41-byte frames (block order) through libavcodec's dss_sp decoder as 42-byte
// blocks with their byte pairs swapped: 264 samples per frame.
inline std::vector<int16_t> decode_frames(const std::vector<uint8_t>& frames) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DSS_SP);
    if (!codec) throw std::runtime_error("no dss_sp decoder");
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<int16_t> out;
    if (ctx && pkt && frame && avcodec_open2(ctx, codec, nullptr) == 0) {
        for (size_t off = 0; off + 41 <= frames.size(); off += 41) {
            if (av_new_packet(pkt, 42) < 0) break;
            uint8_t block[42] = {};
            std::memcpy(block, frames.data() + off, 41);
            for (int i = 0; i < 42; i += 2) {
                pkt->data[i] = block[i + 1];
                pkt->data[i + 1] = block[i];
            }
            int sent = avcodec_send_packet(ctx, pkt);
            av_packet_unref(pkt);
            if (sent < 0) break;
            while (avcodec_receive_frame(ctx, frame) == 0) {
                const int16_t* s = reinterpret_cast<const int16_t*>(frame->data[0]);
                out.insert(out.end(), s, s + frame->nb_samples);
                av_frame_unref(frame);
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

// Kaiser-windowed sinc resampling; output sample m is taken at input time
// m * in_rate / out_rate - delay.
inline std::vector<float> resample(const std::vector<float>& x, int in_rate, int out_rate, double delay = 0) {
    const int g = std::gcd(in_rate, out_rate);
    const long in = in_rate / g, out = out_rate / g, n_in = static_cast<long>(x.size());
    const double cutoff = 0.5 * std::min(1.0, static_cast<double>(out) / in) * 0.97;  // cycles per input sample
    constexpr long kHalf = 32;
    const double beta = 8.0;
    // One kernel per output phase, starting at input sample first[q].
    std::vector<std::vector<double>> kernel(out);
    std::vector<long> first(out);
    for (long q = 0; q < out; ++q) {
        const double t = static_cast<double>(q * in) / out - delay;
        first[q] = static_cast<long>(std::floor(t)) - kHalf + 1;
        for (long k = 0; k < 2 * kHalf; ++k) {
            const double u = t - static_cast<double>(first[q] + k), r = u / kHalf, arg = 2 * cutoff * u;
            const double sinc = std::fabs(arg) < 1e-12 ? 1.0 : std::sin(M_PI * arg) / (M_PI * arg);
            kernel[q].push_back(r <= -1 || r >= 1 ? 0.0
                                                  : 2 * cutoff * sinc * std::cyl_bessel_i(0.0, beta * std::sqrt(1 - r * r)) /
                                                        std::cyl_bessel_i(0.0, beta));
        }
    }
    std::vector<float> y(n_in == 0 ? 0 : static_cast<size_t>((n_in - 1) * out / in + 1));
    for (long m = 0; m < static_cast<long>(y.size()); ++m) {
        const long q = m % out, base = (m / out) * in + first[q];
        double acc = 0;
        for (long n = std::max(base, 0L); n < std::min(base + 2 * kHalf, n_in); ++n) acc += x[n] * kernel[q][n - base];
        y[m] = static_cast<float>(acc);
    }
    return y;
}

inline std::vector<float> to_float(const std::vector<int16_t>& v) { return std::vector<float>(v.begin(), v.end()); }

// In-place radix-2 FFT.
inline void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2 * M_PI / static_cast<double>(len);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k, w *= wl) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

struct Quality {
    double lsd = 0;             // dB, mean over active frames
    double segmental_snr = 0;   // dB
    double correlation = 0;
    int frames = 0;             // active frames measured
};

// 32 ms frames with half overlap, active within 50 dB of the loudest; the
// log-spectral distance compares Hann-windowed power spectra floored 60 dB
// below the reference's peak bin; segmental SNR clamps to -10..35 dB.
inline Quality measure(const std::vector<float>& ref, const std::vector<float>& test, int rate) {
    Quality q;
    const size_t n = std::min(ref.size(), test.size());
    const size_t len = static_cast<size_t>(rate) * 32 / 1000;
    const size_t hop = len / 2;
    size_t fft_size = 1;
    while (fft_size < len) fft_size <<= 1;
    double num = 0, den_r = 0, den_t = 0;
    for (size_t i = 0; i < n; ++i) {
        num += static_cast<double>(ref[i]) * test[i];
        den_r += static_cast<double>(ref[i]) * ref[i];
        den_t += static_cast<double>(test[i]) * test[i];
    }
    q.correlation = den_r > 0 && den_t > 0 ? num / std::sqrt(den_r * den_t) : 0;
    if (n < len) return q;
    std::vector<double> energy;
    for (size_t start = 0; start + len <= n; start += hop) {
        double e = 0;
        for (size_t i = 0; i < len; ++i) e += static_cast<double>(ref[start + i]) * ref[start + i];
        energy.push_back(e);
    }
    const double loudest = *std::max_element(energy.begin(), energy.end());
    if (!(loudest > 0)) return q;
    double lsd_sum = 0, snr_sum = 0;
    std::vector<std::complex<double>> fr(fft_size), ft(fft_size);
    for (size_t f = 0; f < energy.size(); ++f) {
        if (energy[f] < loudest * 1e-5) continue;
        const size_t start = f * hop;
        std::fill(fr.begin(), fr.end(), 0.0);
        std::fill(ft.begin(), ft.end(), 0.0);
        double noise = 0;
        for (size_t i = 0; i < len; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2 * M_PI * (static_cast<double>(i) + 0.5) / static_cast<double>(len));
            fr[i] = ref[start + i] * w;
            ft[i] = test[start + i] * w;
            const double d = static_cast<double>(ref[start + i]) - test[start + i];
            noise += d * d;
        }
        fft(fr);
        fft(ft);
        const size_t bins = fft_size / 2 + 1;
        std::vector<double> lr(bins), lt(bins);
        double peak = -1e300;
        for (size_t k = 0; k < bins; ++k) {
            lr[k] = 10 * std::log10(std::norm(fr[k]) + 1e-20);
            lt[k] = 10 * std::log10(std::norm(ft[k]) + 1e-20);
            peak = std::max(peak, lr[k]);
        }
        double sq = 0;
        for (size_t k = 0; k < bins; ++k) {
            const double d = std::max(lr[k], peak - 60) - std::max(lt[k], peak - 60);
            sq += d * d;
        }
        lsd_sum += std::sqrt(sq / static_cast<double>(bins));
        double snr = noise > 0 ? 10 * std::log10(energy[f] / noise) : 35.0;
        snr_sum += std::clamp(snr, -10.0, 35.0);
        ++q.frames;
    }
    if (q.frames > 0) {
        q.lsd = lsd_sum / q.frames;
        q.segmental_snr = snr_sum / q.frames;
    }
    return q;
}

// The lag (test later than ref, in samples) that maximizes the correlation.
inline int best_lag(const std::vector<float>& ref, const std::vector<float>& test, int max_lag) {
    int best = 0;
    double best_c = -1e300;
    const long n = static_cast<long>(std::min(ref.size(), test.size()));
    for (int lag = -max_lag; lag <= max_lag; ++lag) {
        double c = 0;
        for (long i = std::max(0, -lag); i < n && i + lag < static_cast<long>(test.size()); ++i)
            c += static_cast<double>(ref[i]) * test[i + lag];
        if (c > best_c) best_c = c, best = lag;
    }
    return best;
}

}  // namespace sp_quality
