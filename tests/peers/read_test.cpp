// Every kind of WAV file the library writes, read by sox and ffprobe: format and length as ours.
#include <gtest/gtest.h>

#include "convert/conv_files.h"

using namespace conv_test;
using namespace orvkt_test;

namespace {

std::string first_line(const std::string& s) { return s.substr(0, s.find('\n')); }

void expect_peers_agree(const std::string& wav) {
    SCOPED_TRACE(wav);
    const ParsedWav ours = parse_wav(wav);
    ASSERT_TRUE(ours.ok);
    const auto& f = ours.format;
    const uint64_t frames = ours.data.size() / f.nBlockAlign;
    const std::string q = shell_quote(wav);
    const std::string rate = std::to_string(f.nSamplesPerSec), channels = std::to_string(f.nChannels);
    for (const auto& [option, value] : {std::pair{"-r", rate}, {"-b", std::to_string(f.wBitsPerSample)},
                                        {"-c", channels}, {"-s", std::to_string(frames)}})
        EXPECT_EQ(first_line(run_command("sox --i " + std::string(option) + " " + q, false).output), value);
    const auto probe = run_command("ffprobe -v error -select_streams a:0 -show_entries "
                                   "stream=codec_name,sample_rate,channels,duration_ts -of default=nw=1 " + q,
                                   false);
    ASSERT_EQ(probe.status, 0) << probe.output;
    const std::string codec = f.wBitsPerSample == 8 ? "pcm_u8" : "pcm_s16le";
    for (const std::string& entry : {"codec_name=" + codec, "sample_rate=" + rate, "channels=" + channels,
                                     "duration_ts=" + std::to_string(frames)})
        EXPECT_NE(probe.output.find(entry + "\n"), std::string::npos) << probe.output;
}

}  // namespace

TEST(PeerRead, SoxAndFfprobeSeeTheFormatAndLengthOfEveryKindOfOutput) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    ORVKT_REQUIRE_PROGRAM("ffprobe");
    TempDir tmp;
    ASSERT_TRUE(write_speech_wav(tmp.path("speech.wav"), 22050));
    using enum Export;
    const struct {
        Export how;
        const char* src;
        WAVEFORMATEX want;
        const char* dst;
    } rows[] = {
        {WavToDss, "speech.wav", sp_format(), "sp.dss"},          {DssToWav, "sp.dss", pcm_format(12000), "a.wav"},
        {DssToWav, "sp.dss", pcm_format(11025, 8), "b.wav"},      {WavToDss, "speech.wav", lp_format(), "lp.dss"},
        {DssToWav, "lp.dss", pcm_format(8000), "c.wav"},          {DssToWav, "lp.dss", pcm_format(16000, 8), "d.wav"},
        {WavToDss, "speech.wav", qp_format(), "qp.ds2"},          {DssToWav, "qp.ds2", pcm_format(16000), "e.wav"},
        {DssToWav, "qp.ds2", pcm_format(44100), "f.wav"},         {WavToWav, "speech.wav", pcm_format(8000, 8), "g.wav"},
        {WavToWav, "speech.wav", pcm_format(16000), "h.wav"},     {Mp3ToWav, "speech_stereo.mp3", pcm_format(16000), "i.wav"},
        {Mp3ToWav, "speech_mono.mp3", pcm_format(8000, 8), "j.wav"}, {WmaToWav, "speech_stereo.wma", pcm_format(16000), "k.wav"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.src) + " to " + r.dst);
        const std::string src = orvkt_test::file_exists(tmp.path(r.src)) ? tmp.path(r.src) : data_path(r.src);
        ASSERT_EQ(convert(r.how, src, tmp.path(r.dst), r.want), VKT_OK);
        if (std::string(r.dst).ends_with(".wav")) expect_peers_agree(tmp.path(r.dst));
    }
    std::vector<int16_t> frames(8000);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i * 37 * 257);
    const std::string stereo = tmp.path("stereo.wav"), l = tmp.path("l.wav"), r = tmp.path("r.wav");
    orvkt_test::write_bytes(stereo, wav_bytes(pcm_format(8000, 16, 2), sample_bytes(frames)));
    ASSERT_EQ(ORVKTWAVMixStereo(stereo.c_str(), tmp.path("m.wav").c_str(), nullptr, 0), VKT_OK);
    ASSERT_EQ(ORVKTWAVSplitStereo(stereo.c_str(), l.c_str(), r.c_str(), nullptr, 0), VKT_OK);
    for (const std::string& wav : {tmp.path("m.wav"), l, r}) expect_peers_agree(wav);
}
