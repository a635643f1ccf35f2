// Standard play against FFmpeg: frames written into a DSS file that FFmpeg's
// own reader decodes must give the same samples through our driver.
#include "codecs/sp_driver.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/polyphase_resampler.h"
#include "sp_quality.h"
#include "support/dss_bytes.h"
#include "support/sp_reference.h"
#include "support/test_support.h"

using namespace vkt::codecs;
using namespace orvkt_test;

namespace {

std::vector<int16_t> driver_decode(const std::vector<dss_test::Bytes>& frames, uint32_t block_rate, uint32_t pcm_rate) {
    auto stream = codec_test::open_stream(sp_format(block_rate), pcm_format(pcm_rate));
    EXPECT_TRUE(stream);
    if (!stream) return {};
    std::vector<uint8_t> blocks;
    for (const auto& f : frames) {
        blocks.insert(blocks.end(), f.begin(), f.end());
        blocks.push_back(0);
    }
    const uint32_t pcm_block = 2 * sp_samples_per_frame(block_rate, pcm_rate);
    return codec_test::to_samples(codec_test::run_stream(stream.get(), blocks, 42, pcm_block, 3));
}

// 264 samples a frame converted to per_frame without the converter's delay:
// the delay taken out at the start, silence pushing the tail out at the end.
std::vector<int16_t> aligned_conversion(const std::vector<int16_t>& decoded, uint32_t per_frame) {
    if (per_frame == 264) return decoded;
    PolyphaseResampler r(264, per_frame);
    r.align_to_input();
    std::vector<int16_t> out;
    r.process(decoded.data(), decoded.size(), out);
    const std::vector<int16_t> silence(r.taps_per_phase() + 1, 0);
    r.process(silence.data(), silence.size(), out);
    out.resize(decoded.size() / 264 * per_frame);
    return out;
}

}  // namespace

TEST(SpDriver, DecodesLikeFfmpegOnTheSameFile) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    edit_test::Recording recording;
    recording.frames = edit_test::random_frames(60, 41, 0x1234);
    const auto& frames = recording.frames;
    write_bytes(tmp.path("sp.dss"), edit_test::build(recording));
    auto reference = decode_with_ffmpeg(tmp.path("sp.dss"), tmp.path("sp.raw"));
    // FFmpeg also decodes the zero padding after the last frame.
    ASSERT_GE(reference.size(), 60u * 264);
    reference.resize(60 * 264);

    // At 11025 a frame's share is 264 samples, the decoder's own output;
    // other rates get the same samples rate-converted with the converter's
    // state carried from frame to frame and its delay taken out. The long
    // play clock (8000) gives 288 samples a frame at 8000 Hz.
    const std::pair<uint32_t, uint32_t> clocks[] = {{12000, 11025}, {12000, 12000}, {12000, 8000},
                                                    {12000, 44100}, {8000, 8000}};
    for (auto [clock, rate] : clocks) {
        SCOPED_TRACE(testing::Message() << clock << " -> " << rate);
        const uint32_t per_frame = sp_samples_per_frame(clock, rate);
        const auto converted = driver_decode(frames, clock, rate);
        ASSERT_EQ(converted.size(), 60u * per_frame);
        EXPECT_EQ(converted, aligned_conversion(reference, per_frame));
    }

    // On the timeline of FFmpeg's decoding, rate-converted by sox (264
    // samples in 24 ms are 11000 a second): the cross-correlation peaks
    // within a sample of lag 0.
    ORVKT_REQUIRE_PROGRAM("sox");
    write_bytes(tmp.path("ref.raw"), codec_test::to_bytes(reference));
    auto r = run_command("sox -t raw -r 11000 -e signed -b 16 -c 1 " + shell_quote(tmp.path("ref.raw")) +
                         " -t raw -r 12000 -e signed -b 16 -c 1 " + shell_quote(tmp.path("ref12.raw")));
    ASSERT_EQ(r.status, 0) << r.output;
    const auto peer = sp_quality::to_float(codec_test::to_samples(read_bytes(tmp.path("ref12.raw"))));
    const auto ours = sp_quality::to_float(driver_decode(frames, 12000, 12000));
    EXPECT_LE(std::abs(sp_quality::best_lag(peer, ours, 40)), 1);
}

namespace {
// Stands in for a real frame encoder: writes the first samples' low bytes.
class MarkingEncoder : public SpFrameEncoder {
public:
    void encode(const int16_t* samples, uint8_t* frame) override {
        for (uint32_t i = 0; i < kSpFrameBytes; ++i) frame[i] = static_cast<uint8_t>(samples[i] + calls_);
        ++calls_;
    }

private:
    int calls_ = 0;
};
std::unique_ptr<SpFrameEncoder> make_marking(uint32_t) { return std::make_unique<MarkingEncoder>(); }
}  // namespace

TEST(SpDriver, APluggedFrameEncoderFillsBlocks) {
    vkt::acm::ScopedDriver scoped(std::make_shared<SpDriver>(&make_marking));
    auto stream = codec_test::open_stream(pcm_format(12000), sp_format(12000));
    ASSERT_TRUE(stream);
    std::vector<int16_t> pcm(288 * 2);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(i);
    auto blocks = codec_test::run_stream(stream.get(), codec_test::to_bytes(pcm), 576, 42);
    ASSERT_EQ(blocks.size(), 84u);
    EXPECT_EQ(blocks[40], 40);
    EXPECT_EQ(blocks[41], 0);                 // the block's trailing byte
    EXPECT_EQ(blocks[42], (288 + 1) & 0xFF);  // second frame, second call: state kept
    // Only at the block's own rate.
    EXPECT_FALSE(codec_test::open_stream(pcm_format(11025), sp_format(12000)));
}
