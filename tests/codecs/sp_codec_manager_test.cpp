// The encoder behind the SP driver, through the codec manager: streams from
// PCM to tag 0x0121 open at both clocks, turn 576 bytes into one 42-byte
// block, and what they write decodes to the speech that went in.
#include <gtest/gtest.h>

#include "codecs/codec_formats.h"
#include "codecs/codec_test_util.h"
#include "codecs/dss_sp_frame_encoder.h"
#include "codecs/sp_driver.h"
#include "sp_quality.h"
#include "support/test_support.h"

using namespace vkt::codecs;

namespace {

struct WithEncoder {
    vkt::acm::ScopedDriver driver{std::make_shared<SpDriver>(make_dss_sp_encoder)};
};

}  // namespace

TEST(SpEncodeStream, OpensAtBothClocksOnly) {
    WithEncoder with;
    for (uint32_t rate : {12000u, 8000u}) {
        SCOPED_TRACE(rate);
        MMRESULT r = 1;
        auto stream = codec_test::open_stream(pcm_format(rate), sp_format(rate), &r);
        ASSERT_EQ(r, 0u);
        uint32_t size = 0;
        ASSERT_EQ(acmStreamSize(stream.get(), 576, &size, ACM_STREAMSIZEF_SOURCE), 0u);
        EXPECT_EQ(size, 42u);
        ASSERT_EQ(acmStreamSize(stream.get(), 42, &size, ACM_STREAMSIZEF_DESTINATION), 0u);
        EXPECT_EQ(size, 576u);
    }
    EXPECT_EQ(make_dss_sp_encoder(16000), nullptr);
    EXPECT_EQ(make_dss_sp_encoder(11025), nullptr);
}

TEST(SpEncodeStream, BlocksDecodeToTheSpeech) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    WithEncoder with;
    for (uint32_t rate : {12000u, 8000u}) {
        SCOPED_TRACE(rate);
        std::vector<int16_t> pcm =
            orvkt_test::speech_samples("Send the report to the clinic by Friday.", static_cast<int>(rate), "en-us");
        ASSERT_FALSE(pcm.empty());
        pcm.resize(pcm.size() / 288 * 288);
        auto enc = codec_test::open_stream(pcm_format(rate), sp_format(rate));
        ASSERT_TRUE(enc);
        // Five frames per call, as a converter hands over its buffers.
        const std::vector<uint8_t> blocks = codec_test::run_stream(enc.get(), codec_test::to_bytes(pcm), 576, 42, 5);
        ASSERT_EQ(blocks.size(), pcm.size() / 288 * 42);
        std::vector<uint8_t> frames;
        for (size_t b = 0; b < blocks.size(); b += 42) {
            ASSERT_EQ(blocks[b + 41], 0) << "block " << b / 42;
            frames.insert(frames.end(), blocks.begin() + static_cast<long>(b), blocks.begin() + static_cast<long>(b) + 41);
        }
        // libavcodec's decoder on the frames, against the input at its clock.
        const std::vector<int16_t> decoded = sp_quality::decode_frames(frames);
        const std::vector<float> ref =
            sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
        const sp_quality::Quality q = sp_quality::measure(ref, sp_quality::to_float(decoded), static_cast<int>(rate) * 11 / 12);
        EXPECT_GE(q.correlation, 0.9);
        EXPECT_LE(q.lsd, 9.0);

        // And the whole loop at the caller's rate: the driver's decode
        // direction brings the 264 samples back to 288.
        auto dec = codec_test::open_stream(sp_format(rate), pcm_format(rate));
        ASSERT_TRUE(dec);
        const std::vector<float> back =
            sp_quality::to_float(codec_test::to_samples(codec_test::run_stream(dec.get(), blocks, 42, 576, 3)));
        ASSERT_EQ(back.size(), pcm.size());
        const std::vector<float> input = sp_quality::to_float(pcm);
        const int lag = sp_quality::best_lag(input, back, 40);
        std::vector<float> aligned(input.size(), 0.0f);
        for (long i = 0; i < static_cast<long>(aligned.size()); ++i) {
            const long j = i + lag;
            if (j >= 0 && j < static_cast<long>(back.size())) aligned[static_cast<size_t>(i)] = back[static_cast<size_t>(j)];
        }
        const sp_quality::Quality loop = sp_quality::measure(input, aligned, static_cast<int>(rate));
        EXPECT_GE(loop.correlation, 0.9);
        EXPECT_LE(loop.lsd, 9.0);
    }
}
