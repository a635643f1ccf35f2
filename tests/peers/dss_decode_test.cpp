// A DSS file written through CDssFile is read by a real peer: the ffmpeg
// tool decodes it, and its samples must equal those of libavcodec's dss_sp
// decoder fed the same frames directly. This pins the data-block layout, the
// pair swap and frames running across block boundaries.
#include <gtest/gtest.h>

#include <random>

#include "dss/dss_file.h"
#include "support/dss_bytes.h"
#include "support/sp_reference.h"
#include "support/test_support.h"

using namespace dss_test;
using namespace vkt::platform;
using orvkt_test::read_bytes;
using orvkt_test::run_command;
using orvkt_test::shell_quote;
using orvkt_test::TempDir;

namespace {

constexpr int kSamplesPerFrame = 264;

}  // namespace

TEST(FfmpegPeer, DecodesOurDssFileLikeTheDecoderFedDirectly) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    const std::string path = tmp.path("peer.dss");
    // Random 41-byte frames are valid SP bitstreams for this decoder. 150
    // frames fill twelve data blocks; frame boundaries fall at every offset.
    std::mt19937 random(20240611);
    std::vector<Bytes> frames(150, Bytes(41));
    for (auto& f : frames)
        for (auto& b : f) b = static_cast<uint8_t>(random());
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 2;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false), 0u);
        // The peer wants the recording's end date and time as digits.
        std::memcpy(dss.m_pDssFileHeader.get() + 50, "240611093000", 12);
        for (const Bytes& f : frames) {
            Bytes c = codec_block(f, 42);
            dss.transfer_from_buffer_to_file(c.data(), 42);
        }
        dss.flush_out_block();
        ASSERT_EQ(dss.closing_work(), 0u);
    }

    std::vector<int16_t> from_ffmpeg = orvkt_test::decode_with_ffmpeg(path, tmp.path("peer.raw"));
    const std::vector<int16_t> direct = orvkt_test::decode_sp_frames(frames);
    ASSERT_EQ(direct.size(), frames.size() * kSamplesPerFrame);
    // The peer also decodes the zero padding of the last block as frames.
    ASSERT_GE(from_ffmpeg.size(), direct.size());
    from_ffmpeg.resize(direct.size());
    size_t differing = 0;
    for (size_t i = 0; i < direct.size(); ++i) differing += from_ffmpeg[i] != direct[i];
    EXPECT_EQ(differing, 0u) << "of " << direct.size() << " samples";
    int16_t peak = 0;
    for (int16_t s : direct) peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
    EXPECT_GT(peak, 100) << "the frames decode to sound, not silence";
}
