// Measuring a DSS SP round trip: libavcodec's dss_sp decoder, a resampler to
// the decoder's clock and quality measures. Shared with the encoder benchmark.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "codecs/quality_metrics.h"

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
            const double window = std::cyl_bessel_i(0.0, beta * std::sqrt(std::max(0.0, 1 - r * r))) /
                                  std::cyl_bessel_i(0.0, beta);
            kernel[q].push_back(r <= -1 || r >= 1 ? 0.0 : 2 * cutoff * sinc * window);
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

struct Quality {
    double lsd = 0;            // dB, mean over active frames
    double segmental_snr = 0;  // dB
    double correlation = 0;
    int frames = 0;            // active frames measured
};

// The library's speech measures on the samples rounded to 16 bits, and the
// correlation of the whole signals.
inline Quality measure(const std::vector<float>& ref, const std::vector<float>& test, int rate) {
    Quality q;
    const size_t n = std::min(ref.size(), test.size());
    std::vector<int16_t> r(n), t(n);
    double num = 0, den_r = 0, den_t = 0;
    for (size_t i = 0; i < n; ++i) {
        num += static_cast<double>(ref[i]) * test[i];
        den_r += static_cast<double>(ref[i]) * ref[i];
        den_t += static_cast<double>(test[i]) * test[i];
        r[i] = static_cast<int16_t>(std::clamp(std::lround(ref[i]), -32768L, 32767L));
        t[i] = static_cast<int16_t>(std::clamp(std::lround(test[i]), -32768L, 32767L));
    }
    q.correlation = den_r > 0 && den_t > 0 ? num / std::sqrt(den_r * den_t) : 0;
    const vkt::codecs::SpeechQuality m = vkt::codecs::measure_speech_quality(r, t, 0, static_cast<uint32_t>(rate));
    q.lsd = m.log_spectral_distance_db;
    q.segmental_snr = m.segmental_snr_db;
    q.frames = static_cast<int>(m.active_frames);
    return q;
}

}  // namespace sp_quality
