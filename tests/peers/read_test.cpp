// Every kind of WAV file the conversions and the stereo tools write, read by
// sox and ffprobe: both must see the format and the length our own reading
// sees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "OrvaneVktapi.h"
#include "convert/conv_files.h"
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

// A WAV file of speech packed into DSS and converted back.
static std::string via_dss(const TempDir& t, const std::string& speech, const char* dss, WAVEFORMATEX mode,
                    WAVEFORMATEX out) {
    const std::string d = t.path(dss), w = t.path(std::string(dss) + ".wav");
    if (ORVKTWAVToDSS(speech.c_str(), d.c_str(), &mode, 3, nullptr, 0) != VKT_OK) return "";
    return ORVKTDSSToWAV(d.c_str(), w.c_str(), &out, nullptr, 0, nullptr) == VKT_OK ? w : "";
}

TEST(PeerRead, SoxAndFfprobeSeeTheFormatAndLengthOfEveryKindOfOutput) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    ORVKT_REQUIRE_PROGRAM("ffprobe");
    TempDir tmp;
    const std::string speech = tmp.path("speech.wav");
    ASSERT_TRUE(write_speech_wav(speech, 22050));
    // 0.5 s of 16-bit stereo at 8000/s.
    const std::string stereo = tmp.path("stereo.wav");
    {
        std::vector<int16_t> frames(8000);
        for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i * 37 * 257);
        orvkt_test::write_bytes(stereo, wav_bytes(pcm_format(8000, 16, 2), samples_to_bytes(frames)));
    }
    const struct {
        const char* what;
        std::function<std::string()> write;
    } rows[] = {
        {"standard play to 12000/s", [&] { return via_dss(tmp, speech, "sp.dss", sp_format(), pcm_format(12000)); }},
        {"standard play to 11025/s, 8 bits",
         [&] { return via_dss(tmp, speech, "sp8.dss", sp_format(), pcm_format(11025, 8)); }},
        {"long play to 8000/s", [&] { return via_dss(tmp, speech, "lp.dss", lp_format(), pcm_format(8000)); }},
        {"long play to 16000/s, 8 bits",
         [&] { return via_dss(tmp, speech, "lp16.dss", lp_format(), pcm_format(16000, 8)); }},
        {"quality play to 16000/s", [&] { return via_dss(tmp, speech, "qp.ds2", qp_format(), pcm_format(16000)); }},
        {"quality play to 44100/s", [&] { return via_dss(tmp, speech, "qp44.ds2", qp_format(), pcm_format(44100)); }},
        {"WAV to 8000/s, 8 bits",
         [&] {
             const WAVEFORMATEX f = pcm_format(8000, 8);
             const std::string w = tmp.path("w8.wav");
             return ORVKTWAVToWAV(speech.c_str(), w.c_str(), &f, nullptr, 0) == VKT_OK ? w : "";
         }},
        {"WAV to 16000/s",
         [&] {
             const WAVEFORMATEX f = pcm_format(16000);
             const std::string w = tmp.path("w16.wav");
             return ORVKTWAVToWAV(speech.c_str(), w.c_str(), &f, nullptr, 0) == VKT_OK ? w : "";
         }},
        {"stereo MP3 to 16000/s",
         [&] {
             const WAVEFORMATEX f = pcm_format(16000);
             const std::string w = tmp.path("a.wav");
             return ORVKTMP3ToWAV(data_path("speech_stereo.mp3").c_str(), w.c_str(), &f, nullptr, 0) == VKT_OK ? w : "";
         }},
        {"MP3 to 8000/s, 8 bits",
         [&] {
             const WAVEFORMATEX f = pcm_format(8000, 8);
             const std::string w = tmp.path("b.wav");
             return ORVKTMP3ToWAV(data_path("speech_mono.mp3").c_str(), w.c_str(), &f, nullptr, 0) == VKT_OK ? w : "";
         }},
        {"stereo WMA to 16000/s",
         [&] {
             const WAVEFORMATEX f = pcm_format(16000);
             const std::string w = tmp.path("c.wav");
             return ORVKTWMAToWAV(data_path("speech_stereo.wma").c_str(), w.c_str(), &f, nullptr, 0) == VKT_OK ? w : "";
         }},
        {"stereo mixed",
         [&] {
             const std::string w = tmp.path("m.wav");
             return ORVKTWAVMixStereo(stereo.c_str(), w.c_str(), nullptr, 0) == VKT_OK ? w : "";
         }},
        {"stereo split, left and right",
         [&] {
             const std::string l = tmp.path("l.wav"), r = tmp.path("r.wav");
             if (ORVKTWAVSplitStereo(stereo.c_str(), l.c_str(), r.c_str(), nullptr, 0) != VKT_OK) return std::string();
             expect_peers_agree(r);
             return l;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string wav = row.write();
        ASSERT_FALSE(wav.empty());
        expect_peers_agree(wav);
    }
}
