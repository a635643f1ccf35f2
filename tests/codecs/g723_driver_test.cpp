// Long play against FFmpeg's G.723.1 encoder and decoder.
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

}  // namespace

// Our encoder gives FFmpeg's frames and our decoder FFmpeg's samples, so
// either side's frames decode alike in both.
TEST(G723Driver, FramesAndSamplesAreFfmpegs) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    auto speech = speech_samples("Please send the report to the office before noon.", 8000);
    speech.resize(speech.size() / 240 * 240);
    ASSERT_GT(speech.size(), 8000u);
    TempDir tmp;
    write_bytes(tmp.path("in.raw"), codec_test::to_bytes(speech));
    auto r = run_command("ffmpeg -nostdin -loglevel error -f s16le -ar 8000 -ac 1 -i " + shell_quote(tmp.path("in.raw")) +
                         " -c:a g723_1 -b:a 6300 -f g723_1 " + shell_quote(tmp.path("theirs.tco")));
    ASSERT_EQ(r.status, 0) << r.output;
    const auto raw = read_bytes(tmp.path("theirs.tco"));
    r = run_command("ffmpeg -nostdin -loglevel error -f g723_1 -i " + shell_quote(tmp.path("theirs.tco")) +
                    " -f s16le -c:a pcm_s16le " + shell_quote(tmp.path("theirs.raw")));
    ASSERT_EQ(r.status, 0) << r.output;
    const auto reference = codec_test::to_samples(read_bytes(tmp.path("theirs.raw")));

    auto enc = codec_test::open_stream(pcm_format(8000), lp_format());
    const auto ours = codec_test::run_stream(enc.get(), codec_test::to_bytes(speech), 480, 25, 4);
    ASSERT_EQ(ours.size(), speech.size() / 240 * 25);
    for (size_t pos = 24; pos < ours.size(); pos += 25) ASSERT_EQ(ours[pos], 0) << pos;
    EXPECT_EQ(blocks_to_packets(ours), raw);

    auto dec = codec_test::open_stream(lp_format(), pcm_format(8000));
    const auto decoded = codec_test::to_samples(codec_test::run_stream(dec.get(), packets_to_blocks(raw), 25, 480, 3));
    ASSERT_EQ(decoded.size(), speech.size());
    EXPECT_EQ(decoded, reference);
    // And it is speech: the spectra follow the original's at the codec's delay.
    double best = 1e9;
    for (size_t delay = 0; delay <= 240; delay += 16)
        best = std::min(best, measure_speech_quality(speech, decoded, delay, 8000).log_spectral_distance_db);
    EXPECT_LT(best, 8.0);
}

