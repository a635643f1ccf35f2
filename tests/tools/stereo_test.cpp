// Splitting and mixing stereo WAV files (outside tools read them in tests/peers).
#include <cstring>

#include "OrvaneVktapi.h"
#include "support/test_support.h"
#include "tools/stereo.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

Bytes stereo_wave(const Bytes& data, uint16_t bits = 16, const Bytes& extra = {}) {
    return wave(cat({chunk("fmt ", pcm_fmt(2, 8000, bits)), chunk("data", data), extra}));
}

}  // namespace

TEST(StereoSplit, EightBitSplitsButDoesNotMix) {
    TempDir tmp;
    write_bytes(tmp.path("s8.wav"), stereo_wave({10, 20, 11, 21, 12, 22}, 8));
    EXPECT_EQ(ORVKTWAVMixStereo(tmp.path("s8.wav").c_str(), tmp.path("m.wav").c_str(), nullptr, 0), 45u);
    ASSERT_EQ(ORVKTWAVSplitStereo(tmp.path("s8.wav").c_str(), tmp.path("l.wav").c_str(), tmp.path("r.wav").c_str(),
                                  nullptr, 0),
              0u);
    EXPECT_EQ(audio_of(read_bytes(tmp.path("l.wav"))), (Bytes{20, 21, 22}));
    EXPECT_EQ(audio_of(read_bytes(tmp.path("r.wav"))), (Bytes{10, 11, 12}));
    const Bytes l = read_bytes(tmp.path("l.wav"));
    EXPECT_EQ(get32(l, 46), 3u) << "fact of 8-bit data is its byte count";

    write_bytes(tmp.path("mono.wav"), wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk("data", pattern(8))})));
    EXPECT_EQ(ORVKTWAVSplitStereo(tmp.path("mono.wav").c_str(), tmp.path("a.wav").c_str(), tmp.path("b.wav").c_str(),
                                  nullptr, 0),
              45u);
    EXPECT_EQ(ORVKTWAVMixStereo(tmp.path("missing.wav").c_str(), tmp.path("a.wav").c_str(), nullptr, 0), 13u);
}

TEST(StereoSplit, DataFollowedByAListAndOnlyARightName) {
    TempDir tmp;
    Bytes audio = pattern(4000);
    const Bytes markers_key = cat({text("SpokenInstructionMarkers"), Bytes(256, 0x11)});
    Bytes header(1024, 0x22);
    header[1] = 'd';  // a header image carries a DSS self-identifier
    header[2] = 's';
    header[3] = '2';
    write_bytes(tmp.path("s.wav"),
                stereo_wave(audio, 16, list("INFO", cat({chunk("ICMT", header), chunk("IKEY", markers_key)}))));
    ASSERT_EQ(ORVKTWAVSplitStereo(tmp.path("s.wav").c_str(), nullptr, tmp.path("r.wav").c_str(), nullptr, 0), 0u);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"r.wav", "s.wav"}));
    const Bytes r = read_bytes(tmp.path("r.wav"));
    EXPECT_EQ(audio_of(r).size(), 2000u) << "exactly half of the data chunk, nothing of the list";
    // The header (its first 1024 bytes) and the markers were copied along.
    EXPECT_NE(find_id(r, "ICMT"), std::string::npos);
    EXPECT_NE(find_id(r, "IKEY"), std::string::npos);
    const size_t key = find_id(r, "IKEY");
    EXPECT_EQ(Bytes(r.begin() + key + 8, r.begin() + key + 8 + 280), markers_key);

    EXPECT_EQ(ORVKTWAVMixStereo(tmp.path("s.wav").c_str(), nullptr, nullptr, 0), 0u) << "nothing to write";
}
