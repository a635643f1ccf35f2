// What the codec manager refuses, and a short SP frame decoding like a full block.
#include "codecs/codec_formats.h"
#include "codecs/qp_codec.h"

#include <gtest/gtest.h>

#include "codec_test_util.h"
#include "codecs/sp_driver.h"

using namespace vkt::codecs;
using codec_test::open_stream;

TEST(CodecFormats, UnknownFormatsAreRefused) {
    const WAVEFORMATEX pcm8 = pcm_format(8000), pcm16 = pcm_format(16000);
    const WAVEFORMATEX refused[] = {
        {0x0120, 1, 16000, 4000, 40, 0, 2},    // another dictation codec
        {0x0098, 1, 8000, 1000, 10, 0, 0},
        {0x0121, 1, 22050, 1750, 42, 0, 0},    // SP block at a clock it never runs
        {0x0121, 1, 12000, 1750, 41, 0, 0},    // a stored frame size, not a block
        {0x0121, 2, 16000, 3563, 57, 0, 0},    // stereo
        {0xFFFC, 1, 16000, 834, 25, 0, 0},
    };
    for (const auto& f : refused) {
        SCOPED_TRACE(f.wFormatTag);
        for (const auto& p : {pcm8, pcm16}) {
            MMRESULT r = 0;
            EXPECT_FALSE(open_stream(f, p, &r));
            EXPECT_NE(r, 0u);
            EXPECT_FALSE(open_stream(p, f, &r));
            EXPECT_NE(r, 0u);
        }
        WAVEFORMATEX s{};
        EXPECT_NE(acmFormatSuggest(nullptr, &f, &s, sizeof s, 0), 0u);
    }
    // Right codec, wrong PCM partner.
    MMRESULT r = 0;
    EXPECT_FALSE(open_stream(qp_format(), pcm8, &r));
    EXPECT_NE(r, 0u);
    EXPECT_FALSE(open_stream(lp_format(), pcm16, &r));
    EXPECT_NE(r, 0u);
    WAVEFORMATEX pcm8bit{1, 1, 16000, 16000, 1, 8, 0};
    EXPECT_FALSE(open_stream(qp_format(), pcm8bit, &r));
}

TEST(CodecFormats, ShortFrameIsDecodedAsOneZeroPaddedBlock) {
    // A converter that hands over the 41 stored bytes gets the same PCM as
    // with the full 42-byte block.
    std::vector<uint8_t> frame(42);
    for (size_t i = 0; i < 41; ++i) frame[i] = static_cast<uint8_t>(i * 37 + 5);
    auto f = *dictation_format(0, 12000);
    auto a = open_stream(f.codec, f.pcm), b = open_stream(f.codec, f.pcm);
    auto whole = codec_test::run_stream(a.get(), frame, 42, 576);
    auto shorter = codec_test::run_stream(b.get(), std::vector<uint8_t>(frame.begin(), frame.begin() + 41), 41, 576);
    ASSERT_EQ(whole.size(), 576u);
    EXPECT_EQ(whole, shorter);
}
