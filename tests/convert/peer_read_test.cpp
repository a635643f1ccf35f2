// Every kind of WAV file the conversions write, read by sox and ffprobe:
// both must see the format and the length our own reading sees.
#include <gtest/gtest.h>

#include <cstdlib>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "support/test_support.h"

using namespace conv_test;
using orvkt_test::data_path;
using orvkt_test::run_command;
using orvkt_test::shell_quote;
using orvkt_test::TempDir;

namespace {

std::string first_line(const std::string& s) { return s.substr(0, s.find('\n')); }

// Format and sample count of the file as sox and ffprobe report them.
void expect_peers_agree(const std::string& wav) {
    SCOPED_TRACE(wav);
    const ParsedWav ours = parse_wav(wav);
    ASSERT_TRUE(ours.ok);
    const auto& f = ours.format;
    const uint64_t frames = ours.data.size() / f.nBlockAlign;
    const std::string q = shell_quote(wav);
    EXPECT_EQ(first_line(run_command("sox --i -r " + q, false).output), std::to_string(f.nSamplesPerSec));
    EXPECT_EQ(first_line(run_command("sox --i -b " + q, false).output), std::to_string(f.wBitsPerSample));
    EXPECT_EQ(first_line(run_command("sox --i -c " + q, false).output), std::to_string(f.nChannels));
    EXPECT_EQ(first_line(run_command("sox --i -s " + q, false).output), std::to_string(frames));

    const auto probe = run_command("ffprobe -v error -select_streams a:0 -show_entries "
                                   "stream=codec_name,sample_rate,channels,duration_ts -of default=nw=1 " + q,
                                   false);
    ASSERT_EQ(probe.status, 0) << probe.output;
    const std::string codec = f.wBitsPerSample == 8 ? "pcm_u8" : "pcm_s16le";
    EXPECT_NE(probe.output.find("codec_name=" + codec + "\n"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("sample_rate=" + std::to_string(f.nSamplesPerSec) + "\n"), std::string::npos)
        << probe.output;
    EXPECT_NE(probe.output.find("channels=" + std::to_string(f.nChannels) + "\n"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("duration_ts=" + std::to_string(frames) + "\n"), std::string::npos) << probe.output;
}

}  // namespace

TEST(PeerRead, DssConversionsAtSeveralFormats) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    ORVKT_REQUIRE_PROGRAM("ffprobe");
    TempDir tmp;
    const std::string src = tmp.path("speech.wav");
    ASSERT_TRUE(write_speech_wav(src, 22050));
    struct Case {
        const char* dss;
        WAVEFORMATEX mode;
        WAVEFORMATEX out;
    };
    const Case cases[] = {
        {"sp.dss", sp_format(), pcm_format(12000)},     {"sp8.dss", sp_format(), pcm_format(11025, 8)},
        {"lp.dss", lp_format(), pcm_format(8000)},      {"lp16.dss", lp_format(), pcm_format(16000, 8)},
        {"qp.ds2", qp_format(), pcm_format(16000)},     {"qp44.ds2", qp_format(), pcm_format(44100)},
    };
    for (const Case& c : cases) {
        const std::string dss = tmp.path(c.dss), wav = tmp.path(std::string(c.dss) + ".wav");
        ASSERT_EQ(ORVKTWAVToDSS(src.c_str(), dss.c_str(), &c.mode, 3, nullptr, 0), VKT_OK) << c.dss;
        ASSERT_EQ(ORVKTDSSToWAV(dss.c_str(), wav.c_str(), &c.out, nullptr, 0, nullptr), VKT_OK) << c.dss;
        expect_peers_agree(wav);
    }
    // A WAV to WAV change of rate and width.
    const WAVEFORMATEX pcm8 = pcm_format(8000, 8);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), tmp.path("w8.wav").c_str(), &pcm8, nullptr, 0), VKT_OK);
    expect_peers_agree(tmp.path("w8.wav"));
}

TEST(PeerRead, Mp3AndWmaConversions) {
    ORVKT_REQUIRE_PROGRAM("sox");
    ORVKT_REQUIRE_PROGRAM("ffprobe");
    TempDir tmp;
    const WAVEFORMATEX pcm16k = pcm_format(16000), pcm8k = pcm_format(8000, 8);
    ASSERT_EQ(ORVKTMP3ToWAV(data_path("speech_stereo.mp3").c_str(), tmp.path("a.wav").c_str(), &pcm16k, nullptr, 0),
              VKT_OK);
    expect_peers_agree(tmp.path("a.wav"));
    ASSERT_EQ(ORVKTMP3ToWAV(data_path("speech_mono.mp3").c_str(), tmp.path("b.wav").c_str(), &pcm8k, nullptr, 0),
              VKT_OK);
    expect_peers_agree(tmp.path("b.wav"));
    ASSERT_EQ(ORVKTWMAToWAV(data_path("speech_stereo.wma").c_str(), tmp.path("c.wav").c_str(), &pcm16k, nullptr, 0),
              VKT_OK);
    expect_peers_agree(tmp.path("c.wav"));
}
