// The SP encoder. Through the codec manager its blocks decode, in libavcodec's
// dss_sp decoder, to espeak-ng speech in several voices at both clocks, and
// every frame unpacks with codable lags and a filter that never clips.
#include "codecs/dss_sp_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/dss_sp_frame_encoder.h"
#include "codecs/dss_sp_synthesis.h"
#include "codecs/sp_driver.h"
#include "sp_quality.h"
#include "support/test_support.h"

using namespace vkt::codecs;
using namespace vkt::codecs::dss_sp;

namespace {

struct WithEncoder {
    vkt::acm::ScopedDriver driver{std::make_shared<SpDriver>(make_dss_sp_encoder)};
};

}  // namespace

TEST(SpEncodeStream, BlocksDecodeToTheSpeech) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    WithEncoder with;
    EXPECT_EQ(make_dss_sp_encoder(16000), nullptr) << "12000 and 8000 only";
    const std::pair<const char*, const char*> voices[] = {
        {"en-us", "The patient was admitted on Monday with a mild fever."},
        {"en+f3", "Please call the office to confirm the appointment."},
        {"de", "Die Untersuchung ergab keinen besonderen Befund."},
    };
    for (uint32_t rate : {12000u, 8000u}) {
        for (auto [voice, text] : voices) {
            SCOPED_TRACE(testing::Message() << rate << " " << voice);
            std::vector<int16_t> pcm = orvkt_test::speech_samples(text, static_cast<int>(rate), voice);
            ASSERT_GT(pcm.size(), rate);
            pcm.resize(pcm.size() / 288 * 288);
            auto enc = codec_test::open_stream(pcm_format(rate), sp_format(rate));
            // Five frames per call, as a converter hands over its buffers.
            const auto blocks = codec_test::run_stream(enc.get(), codec_test::to_bytes(pcm), 576, 42, 5);
            ASSERT_EQ(blocks.size(), pcm.size() / 288 * 42);
            std::vector<uint8_t> frames;
            for (size_t b = 0; b < blocks.size(); b += 42) {
                ASSERT_EQ(blocks[b + 41], 0) << "block " << b / 42;
                frames.insert(frames.end(), blocks.begin() + static_cast<long>(b), blocks.begin() + static_cast<long>(b) + 41);
            }
            // libavcodec's decoder on the frames, against the input at its clock.
            const auto decoded = sp_quality::decode_frames(frames);
            const auto ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
            const auto q = sp_quality::measure(ref, sp_quality::to_float(decoded), static_cast<int>(rate) * 11 / 12);
            EXPECT_GT(q.frames, 50);
            EXPECT_GE(q.correlation, 0.9);
            EXPECT_LE(q.lsd, 8.0);
        }
    }
}

TEST(SpEncoder, FramesAreAlwaysDecodable) {
    std::vector<int16_t> x;
    std::mt19937 rng(3);
    for (int i = 0; i < 6000; ++i) x.push_back(static_cast<int16_t>(static_cast<int>(rng() % 65536) - 32768));
    for (int i = 0; i < 6000; ++i) x.push_back((i / 40) % 2 ? 32767 : -32768);  // square wave
    for (int i = 0; i < 6000; ++i)  // a sweep from 50 Hz to 5.9 kHz at full scale
        x.push_back(static_cast<int16_t>(32767 * std::sin(2 * M_PI * (50.0 * i + 0.49 * i * i) / 12000)));
    for (int i = 0; i < 6000; ++i) x.push_back(i % 500 == 0 ? 32767 : 0);        // clicks
    for (int i = 0; i < 6000; ++i) x.push_back(static_cast<int16_t>(i % 3 - 1));  // a faint hum
    for (int i = 0; i < 6000; ++i) x.push_back(i % 2 ? 32767 : -32768);           // the highest frequency
    x.resize(x.size() / kFrameLength * kFrameLength);
    for (int rate : {12000, 8000}) {
        DssSpEncoder encoder(rate);
        for (size_t f = 0; f < x.size() / kFrameLength; ++f) {
            uint8_t frame[kFrameBytes];
            encoder.encode(x.data() + f * kFrameLength, frame);
            FrameParams p;
            ASSERT_TRUE(unpack_frame(frame, &p)) << f;
            ASSERT_TRUE(lags_codable(p.lag)) << f;
            DirectForm a;
            ASSERT_TRUE(step_up(reflection_of(p.filter), &a)) << "frame " << f << " needs clipping";
            // What was written is what the encoder meant.
            ASSERT_EQ(p.filter, encoder.last_params().filter);
            ASSERT_EQ(p.lag, encoder.last_params().lag);
        }
    }
}
