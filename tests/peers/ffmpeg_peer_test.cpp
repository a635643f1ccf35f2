// ffmpeg decodes our DSS files (split and joined too) as libavcodec decodes the frames they hold.
#include <gtest/gtest.h>

#include "OrvaneVktapi.h"
#include "codecs/sp_quality.h"
#include "support/dss_bytes.h"
#include "support/riff_bytes.h"
#include "support/test_support.h"

using namespace edit_test;
using namespace orvkt_test;

namespace {

constexpr size_t kSamplesPerFrame = 264;

// The peer may add the last block's zero padding, decoded (at most twelve frames).
void expect_same_audio(const TempDir& tmp, const std::string& file, const std::vector<Bytes>& frames) {
    Bytes all;
    for (const auto& f : frames) all.insert(all.end(), f.begin(), f.end());
    const std::vector<int16_t> direct = sp_quality::decode_frames(all);
    ASSERT_EQ(direct.size(), frames.size() * kSamplesPerFrame);
    const std::string raw = tmp.path("peer.raw");
    const auto r = run_command("ffmpeg -nostdin -v error -i " + shell_quote(file) + " -f s16le -y " + shell_quote(raw));
    ASSERT_EQ(r.status, 0) << file << ": " << r.output;
    std::vector<int16_t> peer = riff_bytes::byte_samples(read_bytes(raw));
    ASSERT_GE(peer.size(), direct.size()) << file;
    EXPECT_LE(peer.size(), direct.size() + 506 / 41 * kSamplesPerFrame) << file;
    peer.resize(direct.size());
    size_t differing = 0;
    for (size_t i = 0; i < direct.size(); ++i) differing += peer[i] != direct[i];
    EXPECT_EQ(differing, 0u) << file << ": of " << direct.size() << " samples";
    int16_t peak = 0;
    for (int16_t s : direct) peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
    EXPECT_GT(peak, 100) << "the frames decode to sound, not silence";
}

}  // namespace

TEST(FfmpegPeer, PiecesAndJoinedFileHoldExactlyTheirSourceFrames) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    Recording r;  // header 1 bytes 38-61 are digits, as the peer wants
    r.frames = random_frames(1500, 41, 99);  // 36 s
    write_bytes(tmp.path("rec.dss"), build(r));
    uint32_t created = 0;
    ASSERT_EQ(ORVKTSplitDSSFile(tmp.path("rec.dss").c_str(), tmp.dir().c_str(), "piece%d.dss", nullptr, 10, 0,
                                0xFFFFFFFF, &created, nullptr, 0),
              VKT_OK);
    ASSERT_EQ(created, 4u);
    // Cuts after the frames that reach 10, 20 and 30 s: ceil(t / 24 ms).
    const size_t cut[] = {0, 417, 834, 1250, 1500};
    std::string list;
    for (size_t k = 0; k < 4; ++k) {
        const std::string name = tmp.path("piece" + std::to_string(k + 1) + ".dss");
        expect_same_audio(tmp, name, slice(r.frames, cut[k], cut[k + 1]));
        list += name + "?";
    }
    // Overlapping pieces: the second starts with the frame after 5 s.
    ASSERT_EQ(ORVKTSplitDSSFile(tmp.path("rec.dss").c_str(), tmp.dir().c_str(), "ovl%d.dss", nullptr, 10, 5, 2,
                                &created, nullptr, 0),
              VKT_OK);
    expect_same_audio(tmp, tmp.path("ovl2.dss"), slice(r.frames, 209, 1500));
    ASSERT_EQ(ORVKTJoinDSS(list.c_str(), tmp.path("joined.dss").c_str(), nullptr, 0, 0, 100), VKT_OK);
    expect_same_audio(tmp, tmp.path("joined.dss"), r.frames);
}
