// The quality-play codec on its own: speech through encoder and decoder, against quality floors and Opus.
#include "codecs/qp_codec.h"
#include "codecs/mdct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "codec_test_util.h"
#include "codecs/quality_metrics.h"
#include "support/test_support.h"

using namespace vkt::codecs;

namespace {

std::vector<int16_t> round_trip(const std::vector<int16_t>& in) {
    QpEncoder enc;
    QpDecoder dec;
    const size_t count = in.size() / kQpSamples;
    std::vector<int16_t> out(count * kQpSamples);
    size_t decoded = 0;
    auto take = [&](const uint8_t* frame) {
        EXPECT_TRUE(qp_frame_intact(frame));
        dec.decode(frame, out.data() + decoded++ * kQpSamples);
    };
    uint8_t frame[kQpFrameBytes];
    for (size_t f = 0; f < count; ++f)
        if (enc.encode(in.data() + f * kQpSamples, frame)) take(frame);
    if (enc.flush(frame)) take(frame);
    EXPECT_EQ(decoded, count);
    return out;
}

}  // namespace

TEST(QpCodec, SpeechRoundTripMeetsQualityFloorsAndComparesWithOpus) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = orvkt_test::speech_samples(
        "The quick brown fox jumps over the lazy dog. Please call me back tomorrow morning.", 16000);
    ASSERT_GT(speech.size(), 16000u);
    auto out = round_trip(speech);
    auto q = measure_speech_quality(speech, out, 0, 16000);
    EXPECT_GT(q.active_frames, 20u);
    EXPECT_LT(q.log_spectral_distance_db, 3.5);
    EXPECT_GT(q.segmental_snr_db, 14.0);
    // Opus at 28 kbit/s on the same speech, through ffmpeg.
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    orvkt_test::TempDir tmp;
    orvkt_test::write_bytes(tmp.path("in.raw"), codec_test::sample_bytes(speech));
    auto r = orvkt_test::run_command("ffmpeg -nostdin -loglevel error -y -f s16le -ar 16000 -ac 1 -i " +
                                     tmp.path("in.raw") + " -c:a libopus -b:a 28k " + tmp.path("o.opus") +
                                     " && ffmpeg -nostdin -loglevel error -y -i " + tmp.path("o.opus") +
                                     " -f s16le -ar 16000 -ac 1 " + tmp.path("out.raw"));
    ASSERT_EQ(r.status, 0) << r.output;
    auto opus = measure_speech_quality(speech, codec_test::byte_samples(orvkt_test::read_bytes(tmp.path("out.raw"))), 0,
                                       16000);
    const double ratio = q.log_spectral_distance_db / opus.log_spectral_distance_db;
    RecordProperty("qp_lsd_ratio", std::to_string(ratio));
    EXPECT_LE(ratio, 1.10);
}

TEST(QpCodec, MdctFollowsItsDefiningSums) {
    // Encoder and decoder share the transform, so a round trip cannot see a
    // wrong twiddle: the textbook sums in double precision can.
    constexpr size_t n = 256;
    Mdct mdct(n);
    std::vector<float> x(2 * n), coef(n), back(2 * n);
    uint32_t seed = 9;
    for (auto& v : x) v = static_cast<float>(static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 20) - 2048);
    mdct.forward(x.data(), coef.data());
    mdct.inverse(coef.data(), back.data());
    auto basis = [](size_t i, size_t k) { return std::cos(M_PI / n * (i + 0.5 + n / 2.0) * (k + 0.5)); };
    for (size_t k = 0; k < n; ++k) {
        double sum = 0;
        for (size_t i = 0; i < 2 * n; ++i) sum += x[i] * basis(i, k);
        ASSERT_NEAR(coef[k], sum, 0.05) << k;
    }
    for (size_t i = 0; i < 2 * n; ++i) {
        double sum = 0;
        for (size_t k = 0; k < n; ++k) sum += coef[k] * basis(i, k);
        ASSERT_NEAR(back[i], 2.0 / n * sum, 0.01) << i;
    }
}
