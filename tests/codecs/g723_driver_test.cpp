// Long play against FFmpeg: our encoder's frames decode in FFmpeg as in our
// decoder, and FFmpeg's frames decode in our decoder as in FFmpeg.
#include "codecs/g723_driver.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/quality_metrics.h"
#include "support/test_support.h"

using namespace vkt::codecs;
using namespace orvkt_test;

namespace {

// Codec blocks (pairs swapped, trailing zero) <-> raw G.723.1 packets.
std::vector<uint8_t> blocks_to_packets(const std::vector<uint8_t>& blocks) {
    std::vector<uint8_t> raw;
    for (size_t pos = 0; pos + 25 <= blocks.size(); pos += 25) {
        uint8_t packet[24];
        for (int i = 0; i < 24; i += 2) packet[i] = blocks[pos + i + 1], packet[i + 1] = blocks[pos + i];
        raw.insert(raw.end(), packet, packet + g723_packet_size(packet[0]));
    }
    return raw;
}

std::vector<uint8_t> packets_to_blocks(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> blocks;
    for (size_t pos = 0; pos < raw.size();) {
        const uint32_t n = g723_packet_size(raw[pos]);
        uint8_t packet[24] = {};
        std::copy(raw.begin() + pos, raw.begin() + pos + n, packet);
        for (int i = 0; i < 24; i += 2) blocks.push_back(packet[i + 1]), blocks.push_back(packet[i]);
        blocks.push_back(0);
        pos += n;
    }
    return blocks;
}

std::vector<int16_t> ffmpeg_decode_raw(const std::string& path) {
    auto r = run_command("ffmpeg -nostdin -loglevel error -f g723_1 -i " + shell_quote(path) +
                         " -f s16le -c:a pcm_s16le " + shell_quote(path + ".raw"));
    EXPECT_EQ(r.status, 0) << r.output;
    return codec_test::to_samples(read_bytes(path + ".raw"));
}

std::vector<int16_t> speech_8k() {
    auto s = speech_samples("Please send the report to the office before noon.", 8000);
    s.resize(s.size() / 240 * 240);
    return s;
}

}  // namespace

TEST(G723Driver, OurFramesDecodeInFfmpegAsInOurDecoder) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = speech_8k();
    ASSERT_GT(speech.size(), 8000u);
    auto enc = codec_test::open_stream(pcm_format(8000), lp_format());
    ASSERT_TRUE(enc);
    auto blocks = codec_test::run_stream(enc.get(), codec_test::to_bytes(speech), 480, 25, 4);
    ASSERT_EQ(blocks.size(), speech.size() / 240 * 25);
    for (size_t pos = 24; pos < blocks.size(); pos += 25) ASSERT_EQ(blocks[pos], 0) << pos;

    TempDir tmp;
    write_bytes(tmp.path("ours.tco"), blocks_to_packets(blocks));
    auto reference = ffmpeg_decode_raw(tmp.path("ours.tco"));
    auto dec = codec_test::open_stream(lp_format(), pcm_format(8000));
    auto decoded = codec_test::to_samples(codec_test::run_stream(dec.get(), blocks, 25, 480, 7));
    ASSERT_EQ(decoded.size(), speech.size());
    EXPECT_EQ(decoded, reference);

    // And it is speech: the spectra follow the original's at the codec's delay.
    double best = 1e9;
    for (size_t delay = 0; delay <= 240; delay += 16)
        best = std::min(best, measure_speech_quality(speech, decoded, delay, 8000).log_spectral_distance_db);
    EXPECT_LT(best, 8.0);
}

TEST(G723Driver, FfmpegFramesDecodeInOurDecoderAsInFfmpeg) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = speech_8k();
    TempDir tmp;
    write_bytes(tmp.path("in.raw"), codec_test::to_bytes(speech));
    auto r = run_command("ffmpeg -nostdin -loglevel error -f s16le -ar 8000 -ac 1 -i " + shell_quote(tmp.path("in.raw")) +
                         " -c:a g723_1 -b:a 6300 -f g723_1 " + shell_quote(tmp.path("theirs.tco")));
    ASSERT_EQ(r.status, 0) << r.output;
    auto raw = read_bytes(tmp.path("theirs.tco"));
    auto reference = ffmpeg_decode_raw(tmp.path("theirs.tco"));
    auto blocks = packets_to_blocks(raw);
    auto dec = codec_test::open_stream(lp_format(), pcm_format(8000));
    auto decoded = codec_test::to_samples(codec_test::run_stream(dec.get(), blocks, 25, 480, 3));
    ASSERT_EQ(decoded.size(), reference.size());
    EXPECT_EQ(decoded, reference);

    // Our encoder is the same libavcodec encoder: the same frames.
    auto enc = codec_test::open_stream(pcm_format(8000), lp_format());
    auto ours = codec_test::run_stream(enc.get(), codec_test::to_bytes(speech), 480, 25, 1);
    EXPECT_EQ(blocks_to_packets(ours), raw);
}

TEST(G723Driver, SilenceDescriptorAndUntransmittedFramesKeepTheirTime) {
    // Block order: the frame type sits in the low bits of the block's second byte.
    std::vector<uint8_t> blocks(3 * 25, 0);
    blocks[1] = 0x02;       // silence descriptor, 4 bytes
    blocks[25 + 1] = 0x03;  // untransmitted
    blocks[50 + 1] = 0x00;  // 6.3 kbit/s frame of zeros
    auto dec = codec_test::open_stream(lp_format(), pcm_format(8000));
    auto decoded = codec_test::run_stream(dec.get(), blocks, 25, 480, 3);
    EXPECT_EQ(decoded.size(), 3u * 480);
    EXPECT_EQ(g723_packet_size(0x02), 4u);
    EXPECT_EQ(g723_packet_size(0x03), 1u);
    EXPECT_EQ(g723_packet_size(0x01), 20u);
    EXPECT_EQ(g723_packet_size(0xFC), 24u);
}
