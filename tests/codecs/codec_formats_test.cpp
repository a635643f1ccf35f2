// The codec formats per compression identifier and what the codec manager
// answers for them: stream sizes both ways, suggestions, refusals, and one
// stored frame converting into exactly its PCM block.
#include "codecs/codec_formats.h"
#include "codecs/qp_codec.h"

#include <gtest/gtest.h>

#include "codec_test_util.h"
#include "codecs/sp_driver.h"

using namespace vkt::codecs;
using codec_test::open_stream;

namespace {

struct Row {
    uint8_t id;
    uint16_t tag;
    uint32_t rate, bytes_per_second;
    uint16_t block;
    uint32_t pcm_rate, pcm_block;
};

// The table as the DSS converter relies on it, written out by hand.
const Row kRows[] = {
    {0, 0x0121, 12000, 1750, 42, 12000, 576}, {1, 0x0121, 12000, 1750, 42, 12000, 576},
    {2, 0xFFFC, 8000, 834, 25, 8000, 480},    {3, 0xFFFC, 8000, 834, 25, 8000, 480},
    {4, 0x0121, 8000, 1167, 42, 8000, 576},   {6, 0x0121, 16000, 3563, 57, 16000, 512},
    {7, 0x0121, 16000, 3563, 57, 16000, 512},
};

}  // namespace

TEST(CodecFormats, StreamsOpenSizeAndSuggestPerFormat) {
    for (const Row& r : kRows) {
        SCOPED_TRACE(int(r.id));
        auto f = *dictation_format(r.id, r.pcm_rate);
        MMRESULT result = 1;
        auto stream = open_stream(f.codec, f.pcm, &result);
        ASSERT_EQ(result, 0u);
        uint32_t n = 0;
        ASSERT_EQ(acmStreamSize(stream.get(), r.block, &n, ACM_STREAMSIZEF_SOURCE), 0u);
        EXPECT_EQ(n, r.pcm_block);
        ASSERT_EQ(acmStreamSize(stream.get(), 10 * r.block + r.block - 1, &n, ACM_STREAMSIZEF_SOURCE), 0u);
        EXPECT_EQ(n, 10 * r.pcm_block);  // whole blocks only
        ASSERT_EQ(acmStreamSize(stream.get(), 3 * r.pcm_block, &n, ACM_STREAMSIZEF_DESTINATION), 0u);
        EXPECT_EQ(n, 3u * r.block);

        WAVEFORMATEX suggestion{};
        ASSERT_EQ(acmFormatSuggest(nullptr, &f.codec, &suggestion, sizeof suggestion, 0), 0u);
        EXPECT_EQ(+suggestion.wFormatTag, 1);
        EXPECT_EQ(+suggestion.nChannels, 1);
        EXPECT_EQ(+suggestion.nSamplesPerSec, r.pcm_rate);
        EXPECT_EQ(+suggestion.nAvgBytesPerSec, 2 * r.pcm_rate);
        EXPECT_EQ(+suggestion.wBitsPerSample, 16);
        EXPECT_EQ(+suggestion.cbSize, 0);

        // One stored frame (zero bytes here; a frame of silence from our own
        // encoder for quality play, whose frames carry a check) converts,
        // with the stream's end, into exactly one PCM block.
        std::vector<uint8_t> block(r.block, 0), pcm(r.pcm_block + 100, 0xAA);
        if (r.id >= 6) {
            QpEncoder encoder;
            const std::vector<int16_t> silence(kQpSamples, 0);
            encoder.encode(silence.data(), block.data());
            ASSERT_TRUE(encoder.flush(block.data()));
        }
        ACMSTREAMHEADER hdr{};
        hdr.cbStruct = 124;
        hdr.pbSrc = block.data();
        hdr.cbSrcLength = r.block;
        hdr.pbDst = pcm.data();
        hdr.cbDstLength = static_cast<uint32_t>(pcm.size());
        ASSERT_EQ(acmStreamPrepareHeader(stream.get(), &hdr, 0), 0u);
        ASSERT_EQ(acmStreamConvert(stream.get(), &hdr, ACM_STREAMCONVERTF_END), 0u);
        EXPECT_EQ(hdr.cbDstLengthUsed, r.pcm_block);
        EXPECT_EQ(hdr.cbSrcLengthUsed, r.block);
        EXPECT_EQ(acmStreamUnprepareHeader(stream.get(), &hdr, 0), 0u);
    }
}

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
