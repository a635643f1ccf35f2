// The quality-play codec on its own: speech, tones and silence through
// encoder and decoder, with the stream delay and quality floors.
#include "codecs/qp_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/quality_metrics.h"
#include "support/test_support.h"

using namespace vkt::codecs;

namespace {

std::vector<int16_t> round_trip(const std::vector<int16_t>& in, std::vector<uint8_t>* frames = nullptr) {
    QpEncoder enc;
    QpDecoder dec;
    std::vector<int16_t> out(in.size() / kQpSamples * kQpSamples);
    for (size_t f = 0; f < in.size() / kQpSamples; ++f) {
        uint8_t frame[kQpFrameBytes];
        enc.encode(in.data() + f * kQpSamples, frame);
        if (frames) frames->insert(frames->end(), frame, frame + kQpFrameBytes);
        dec.decode(frame, out.data() + f * kQpSamples);
    }
    return out;
}

}  // namespace

TEST(QpCodec, SpeechRoundTripMeetsQualityFloors) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = orvkt_test::speech_samples(
        "The quick brown fox jumps over the lazy dog. Please call me back tomorrow morning.", 16000);
    ASSERT_GT(speech.size(), 16000u);
    auto out = round_trip(speech);
    auto q = measure_speech_quality(speech, out, kQpDelay, 16000);
    EXPECT_GT(q.active_frames, 20u);
    EXPECT_LT(q.log_spectral_distance_db, 5.0);
    EXPECT_GT(q.segmental_snr_db, 13.0);
}

TEST(QpCodec, TonesKeepFrequencyAndLevel) {
    for (double hz : {220.0, 1000.0, 3150.0, 6000.0}) {
        SCOPED_TRACE(hz);
        std::vector<int16_t> tone(16000);
        for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * hz * i / 16000));
        auto out = round_trip(tone);
        // Amplitude of the tone after the delay, away from the start.
        std::vector<double> shifted(out.begin() + kQpDelay, out.end());
        const double a = codec_test::sine_amplitude(shifted, hz / 16000, 2048, shifted.size());
        EXPECT_NEAR(20 * std::log10(a / 8000), 0.0, 0.5);
        auto q = measure_speech_quality(tone, out, kQpDelay, 16000);
        EXPECT_GT(q.segmental_snr_db, 20.0);
    }
}

TEST(QpCodec, SilenceStaysSilent) {
    std::vector<int16_t> silence(256 * 40, 0);
    auto out = round_trip(silence);
    for (int16_t v : out) ASSERT_EQ(v, 0);
}

TEST(QpCodec, OutputIsTheInputDelayedByAFixedAmount) {
    // A tone burst in the very first frame and one in the last frame but
    // the delay: both come out kQpDelay samples later, none is lost.
    std::vector<int16_t> in(256 * 12, 0);
    const size_t bursts[2] = {20, in.size() - kQpDelay - 100};
    for (size_t start : bursts)
        for (size_t i = 0; i < 80; ++i)
            in[start + i] = static_cast<int16_t>(12000 * std::sin(M_PI * i / 80) * std::sin(2 * M_PI * 1500 * i / 16000.0));
    auto out = round_trip(in);
    ASSERT_EQ(out.size(), in.size());
    for (size_t start : bursts) {
        SCOPED_TRACE(start);
        // The lag where the output matches the burst best.
        long best_lag = -1;
        double best = -1e300, burst_energy = 0, out_energy = 0;
        for (size_t i = 0; i < 80; ++i) burst_energy += double(in[start + i]) * in[start + i];
        for (long lag = 0; lag <= 2 * kQpDelay && start + 80 + lag <= out.size(); ++lag) {
            double c = 0;
            for (size_t i = 0; i < 80; ++i) c += double(in[start + i]) * out[start + i + lag];
            if (c > best) best = c, best_lag = lag;
        }
        EXPECT_EQ(best_lag, kQpDelay);
        for (size_t i = 0; i < 80; ++i) out_energy += double(out[start + i + kQpDelay]) * out[start + i + kQpDelay];
        EXPECT_NEAR(10 * std::log10(out_energy / burst_energy), 0.0, 2.0);
    }
}

TEST(QpCodec, DamagedFramesDoNotDerailTheNextStream) {
    QpDecoder dec;
    uint32_t seed = 99;
    int16_t pcm[kQpSamples];
    for (int f = 0; f < 200; ++f) {
        uint8_t frame[kQpFrameBytes];
        for (auto& b : frame) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(seed >> 24);
        }
        if (f % 3 == 0) std::memset(frame, 0xFF, sizeof frame);
        dec.decode(frame, pcm);  // must neither crash nor hang
    }
    // A stream that starts afterwards (its first frame codes its levels
    // without prediction) decodes as in a fresh decoder, up to the noise
    // filling's random signs, once the transform overlap has passed.
    std::vector<int16_t> tone(256 * 40);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 440 * i / 16000) + 3000 * std::sin(2 * M_PI * 2900 * i / 16000));
    QpEncoder enc;
    QpDecoder fresh;
    std::vector<int16_t> a(tone.size()), b(tone.size());
    for (size_t f = 0; f < 40; ++f) {
        uint8_t frame[kQpFrameBytes];
        enc.encode(tone.data() + 256 * f, frame);
        fresh.decode(frame, a.data() + 256 * f);
        dec.decode(frame, b.data() + 256 * f);
    }
    std::vector<int16_t> a_tail(a.begin() + 512, a.end()), b_tail(b.begin() + 512, b.end());
    auto q = measure_speech_quality(a_tail, b_tail, 0, 16000);
    EXPECT_LT(q.log_spectral_distance_db, 1.0);
    EXPECT_GT(q.segmental_snr_db, 25.0);
}

TEST(QpCodec, DriverBlocksAreConstantAndIndependentOfCallSizes) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = orvkt_test::speech_samples("Seven tests were run on Monday.", 16000);
    speech.resize(speech.size() / 256 * 256);
    auto bytes = codec_test::to_bytes(speech);
    auto enc1 = codec_test::open_stream(qp_format(), pcm_format(16000));
    auto e1 = codec_test::open_stream(pcm_format(16000), qp_format());
    auto e2 = codec_test::open_stream(pcm_format(16000), qp_format());
    ASSERT_TRUE(e1 && e2 && enc1);
    auto one = codec_test::run_stream(e1.get(), bytes, 512, 57, 1);
    auto many = codec_test::run_stream(e2.get(), bytes, 512, 57, 31);
    ASSERT_EQ(one.size(), speech.size() / 256 * 57);
    EXPECT_EQ(one, many);
    for (size_t pos = 56; pos < one.size(); pos += 57) ASSERT_EQ(one[pos], 0);

    // The decoder ignores the block's last byte (1 for identifier 7).
    auto marked = one;
    for (size_t pos = 56; pos < marked.size(); pos += 57) marked[pos] = 1;
    auto d1 = codec_test::open_stream(qp_format(), pcm_format(16000));
    auto d2 = codec_test::open_stream(qp_format(), pcm_format(16000));
    auto a = codec_test::run_stream(d1.get(), one, 57, 512, 5);
    auto b = codec_test::run_stream(d2.get(), marked, 57, 512, 2);
    ASSERT_EQ(a.size(), speech.size() * 2);
    EXPECT_EQ(a, b);
    // The same as the codec used directly.
    EXPECT_EQ(codec_test::to_samples(a), round_trip(speech));
}
