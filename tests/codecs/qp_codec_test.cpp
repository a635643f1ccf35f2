// The quality-play codec on its own: speech, tones and silence through
// encoder and decoder, with the stream delay and quality floors.
#include "codecs/qp_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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
