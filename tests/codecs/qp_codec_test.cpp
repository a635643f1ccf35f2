// The quality-play codec on its own: speech, tones and silence through
// encoder and decoder, on the input's own timeline, with quality floors,
// frames that decode on their own and the frame check.
#include "codecs/qp_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <cstring>
#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/mdct.h"
#include "codecs/qp_driver.h"
#include "codecs/quality_metrics.h"
#include "support/test_support.h"

using namespace vkt::codecs;

namespace {

std::vector<int16_t> round_trip(const std::vector<int16_t>& in, std::vector<uint8_t>* frames = nullptr) {
    QpEncoder enc;
    QpDecoder dec;
    const size_t count = in.size() / kQpSamples;
    std::vector<int16_t> out(count * kQpSamples);
    size_t decoded = 0;
    auto take = [&](const uint8_t* frame) {
        if (frames) frames->insert(frames->end(), frame, frame + kQpFrameBytes);
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
    EXPECT_LT(q.log_spectral_distance_db, 4.8);
    EXPECT_GT(q.segmental_snr_db, 14.0);

    // Opus at 28 kbit/s on the same speech, through ffmpeg.
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    orvkt_test::TempDir tmp;
    orvkt_test::write_bytes(tmp.path("in.raw"), codec_test::to_bytes(speech));
    auto r = orvkt_test::run_command("ffmpeg -nostdin -loglevel error -y -f s16le -ar 16000 -ac 1 -i " +
                                     tmp.path("in.raw") + " -c:a libopus -b:a 28k " + tmp.path("o.opus") +
                                     " && ffmpeg -nostdin -loglevel error -y -i " + tmp.path("o.opus") +
                                     " -f s16le -ar 16000 -ac 1 " + tmp.path("out.raw"));
    ASSERT_EQ(r.status, 0) << r.output;
    auto opus = measure_speech_quality(speech, codec_test::to_samples(orvkt_test::read_bytes(tmp.path("out.raw"))), 0,
                                       16000);
    const double ratio = q.log_spectral_distance_db / opus.log_spectral_distance_db;
    RecordProperty("qp_lsd_ratio", std::to_string(ratio));
    EXPECT_LT(ratio, 1.3);
}

TEST(QpCodec, EveryFrameDecodesOnItsOwnAndCarriesItsCheck) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = orvkt_test::speech_samples("Please send the two reports to the workshop on Friday.", 16000);
    speech.resize(speech.size() / 256 * 256);
    std::vector<uint8_t> frames;
    auto whole = round_trip(speech, &frames);
    const size_t count = frames.size() / kQpFrameBytes;
    ASSERT_GT(count, 60u);
    // A decoder that starts at frame k (after frames of garbage, which must
    // neither crash nor hang it) matches the uncut decoding from the end of
    // frame k's first overlap on, up to the noise filling's random signs.
    for (size_t k : {size_t(7), count / 3, count / 2 + 1}) {
        SCOPED_TRACE(k);
        QpDecoder dec;
        int16_t pcm[kQpSamples];
        uint32_t seed = static_cast<uint32_t>(k);
        for (int f = 0; f < 20; ++f) {
            uint8_t junk[kQpFrameBytes];
            for (auto& b : junk) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
            dec.decode(junk, pcm);
        }
        dec.conceal(pcm);
        std::vector<int16_t> piece((count - k) * kQpSamples);
        for (size_t f = k; f < count; ++f) dec.decode(&frames[f * kQpFrameBytes], piece.data() + (f - k) * kQpSamples);
        std::vector<int16_t> ref(speech.begin() + k * kQpSamples + kQpLookahead, speech.end());
        std::vector<int16_t> cut(piece.begin() + kQpLookahead, piece.end());
        std::vector<int16_t> uncut(whole.begin() + k * kQpSamples + kQpLookahead, whole.end());
        const double lsd_cut = measure_speech_quality(ref, cut, 0, 16000).log_spectral_distance_db;
        const double lsd_uncut = measure_speech_quality(ref, uncut, 0, 16000).log_spectral_distance_db;
        EXPECT_NEAR(lsd_cut, lsd_uncut, 0.1);
    }
    // Any changed bit fails the check; so do nearly all foreign frames.
    for (size_t bit : {0, 77, 8 * kQpPayloadBytes - 1, 8 * kQpFrameBytes - 1}) {
        std::vector<uint8_t> frame(frames.begin() + kQpFrameBytes * 9, frames.begin() + kQpFrameBytes * 10);
        frame[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_FALSE(qp_frame_intact(frame.data())) << bit;
    }
    int passed = 0;
    uint32_t seed = 5;
    for (int f = 0; f < 4096; ++f) {
        uint8_t junk[kQpFrameBytes];
        for (auto& b : junk) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
        passed += qp_frame_intact(junk);
    }
    EXPECT_LT(passed, 40);  // 16 expected from an 8-bit check
}

TEST(QpCodec, MdctFollowsItsDefiningSums) {
    // The transform against the textbook sums in double precision.
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
