// Standard play against FFmpeg: frames written into a DSS file that FFmpeg's
// own reader decodes must give the same samples through our driver.
#include "codecs/sp_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/polyphase_resampler.h"
#include "support/test_support.h"

using namespace vkt::codecs;
using namespace orvkt_test;

namespace {

// Frames of varied bits: every field of the decoder sees many values.
std::vector<std::vector<uint8_t>> make_frames(size_t count) {
    std::vector<std::vector<uint8_t>> frames(count, std::vector<uint8_t>(41));
    uint32_t seed = 0x12345678;
    for (auto& f : frames)
        for (auto& b : f) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(seed >> 24);
        }
    return frames;
}

// A DSS file laid out by hand: two header blocks (the end date and time as
// digits, which FFmpeg's reader insists on), then 512-byte data blocks whose
// byte pairs are swapped on disk, frames running on from block to block.
std::vector<uint8_t> dss_file(const std::vector<std::vector<uint8_t>>& frames, uint8_t compression_id) {
    std::vector<uint8_t> file(1024, 0xFF);
    file[0] = 2;
    std::memcpy(&file[1], "dss", 3);
    file[4] = 1, file[5] = 0, file[6] = 1, file[7] = 0;
    file[8] = 3, file[9] = 0, file[10] = 0, file[11] = 0;
    std::memset(&file[12], 0, 20);
    std::memcpy(&file[38], "000000000000", 12);  // start date and time
    std::memcpy(&file[50], "240102103000", 12);  // end date and time
    std::memcpy(&file[62], "000001", 6);
    std::memset(&file[512], 0, 512);              // header 2: version 1, compression id
    file[512] = 1;
    file[512 + 16] = compression_id;

    std::vector<uint8_t> payload;
    std::vector<size_t> starts;
    for (const auto& f : frames) {
        starts.push_back(payload.size());
        payload.insert(payload.end(), f.begin(), f.end());
    }
    size_t frame = 0;
    for (size_t pos = 0; pos < payload.size(); pos += 506) {
        std::vector<uint8_t> block(512, 0);
        // First frame that starts here, and how many do.
        size_t first = 0, count = 0;
        for (size_t f = frame; f < starts.size() && starts[f] < pos + 506; ++f) {
            if (count == 0) first = starts[f] - pos;
            ++count;
        }
        const uint16_t w = static_cast<uint16_t>((6 + first) * 128 + 15);
        block[0] = static_cast<uint8_t>(w >> 8), block[1] = static_cast<uint8_t>(w);
        block[2] = 0xFF, block[3] = static_cast<uint8_t>(count), block[4] = 0xFF, block[5] = compression_id;
        const size_t n = std::min<size_t>(506, payload.size() - pos);
        std::memcpy(&block[6], &payload[pos], n);
        frame += count;
        for (size_t i = 0; i < 512; i += 2) std::swap(block[i], block[i + 1]);
        file.insert(file.end(), block.begin(), block.end());
    }
    return file;
}

std::vector<int16_t> ffmpeg_decode(const std::string& path) {
    auto r = run_command("ffmpeg -nostdin -loglevel error -i " + shell_quote(path) + " -f s16le -c:a pcm_s16le " +
                         shell_quote(path + ".raw"));
    EXPECT_EQ(r.status, 0) << r.output;
    return codec_test::to_samples(read_bytes(path + ".raw"));
}

std::vector<int16_t> driver_decode(const std::vector<std::vector<uint8_t>>& frames, uint32_t block_rate,
                                   uint32_t pcm_rate) {
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
    auto frames = make_frames(60);
    write_bytes(tmp.path("sp.dss"), dss_file(frames, 0));
    auto reference = ffmpeg_decode(tmp.path("sp.dss"));
    // FFmpeg also decodes the zero padding after the last frame.
    ASSERT_GE(reference.size(), 60u * 264);
    reference.resize(60 * 264);

    // At 11025 a frame's share is 264 samples: the decoder's own output.
    auto direct = driver_decode(frames, 12000, 11025);
    ASSERT_EQ(direct.size(), 60u * 264);
    EXPECT_EQ(direct, reference);

    // At 12000 and 8000 the same samples, rate-converted frame by frame
    // with the converter's state carried from frame to frame and its delay
    // taken out.
    for (uint32_t rate : {12000u, 8000u, 44100u}) {
        auto converted = driver_decode(frames, 12000, rate);
        const uint32_t per_frame = sp_samples_per_frame(12000, rate);
        ASSERT_EQ(converted.size(), 60u * per_frame) << rate;
        EXPECT_EQ(converted, aligned_conversion(reference, per_frame)) << rate;
    }

    // On the timeline of FFmpeg's decoding, rate-converted by sox (264
    // samples in 24 ms are 11000 a second): the cross-correlation peaks
    // within a sample of lag 0.
    ORVKT_REQUIRE_PROGRAM("sox");
    write_bytes(tmp.path("ref.raw"), codec_test::to_bytes(reference));
    auto r = run_command("sox -t raw -r 11000 -e signed -b 16 -c 1 " + shell_quote(tmp.path("ref.raw")) +
                         " -t raw -r 12000 -e signed -b 16 -c 1 " + shell_quote(tmp.path("ref12.raw")));
    ASSERT_EQ(r.status, 0) << r.output;
    auto peer = codec_test::to_samples(read_bytes(tmp.path("ref12.raw")));
    auto ours = driver_decode(frames, 12000, 12000);
    long best_lag = 99;
    double best = -1e300;
    for (long lag = -40; lag <= 40; ++lag) {
        double c = 0;
        for (size_t i = 100; i + 100 < std::min(ours.size(), peer.size()); ++i) c += double(peer[i]) * ours[i + lag];
        if (c > best) best = c, best_lag = lag;
    }
    EXPECT_LE(std::abs(best_lag), 1);
}

TEST(SpDriver, LongPlayClockGives288SamplesAt8000) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    auto frames = make_frames(20);
    write_bytes(tmp.path("lp.dss"), dss_file(frames, 0));
    auto reference = ffmpeg_decode(tmp.path("lp.dss"));
    ASSERT_GE(reference.size(), 20u * 264);
    reference.resize(20 * 264);
    auto out = driver_decode(frames, 8000, 8000);
    ASSERT_EQ(out.size(), 20u * 288);
    EXPECT_EQ(out, aligned_conversion(reference, 288));
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
    EXPECT_EQ(blocks[0], 0);
    EXPECT_EQ(blocks[40], 40);
    EXPECT_EQ(blocks[41], 0);             // the block's trailing byte
    EXPECT_EQ(blocks[42], (288 + 1) & 0xFF);  // second frame, second call: state kept
    EXPECT_EQ(blocks[83], 0);
    // Only at the block's own rate.
    EXPECT_FALSE(codec_test::open_stream(pcm_format(11025), sp_format(12000)));
}
