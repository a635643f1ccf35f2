// orvkt with MP3 and WMA files: convert, split and info as a person runs
// them; the exit status is the library's result code.
#include <nlohmann/json.hpp>

#include "OrvaneVktapi.h"
#include "convert/conv_files.h"

using namespace orvkt_test;
using namespace conv_test;

namespace {
std::string cli() { return shell_quote(ORVKT_CLI) + " -q "; }
std::string q(const std::string& s) { return shell_quote(s); }
}  // namespace

TEST(MediaCli, ConvertTakesMp3AndWmaSourcesToMonoWav) {
    TempDir tmp;
    // By default: 16-bit mono at the source's own rate.
    auto r = run_command(cli() + "convert " + q(data_path("speech_stereo.mp3")) + " " + q(tmp.path("a.wav")));
    ASSERT_EQ(r.status, 0) << r.output;
    auto wav = parse_wav(tmp.path("a.wav"));
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(+wav.format.nChannels, 1);
    EXPECT_EQ(+wav.format.nSamplesPerSec, 22050u);

    r = run_command(cli() + "convert " + q(data_path("speech_stereo.wma")) + " " + q(tmp.path("b.wav")) +
                    " --rate 8000 --format pcm8");
    ASSERT_EQ(r.status, 0) << r.output;
    wav = parse_wav(tmp.path("b.wav"));
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(+wav.format.nSamplesPerSec, 8000u);
    EXPECT_EQ(+wav.format.wBitsPerSample, 8);

    // A batch of both kinds, each into a .wav of its name.
    TempDir out;
    r = run_command(shell_quote(ORVKT_CLI) + " convert " + q(data_path("speech_header.mp3")) + " " +
                    q(data_path("speech_mono.wma")) + " --out-dir " + q(out.dir()) + " -j 2");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(out.entries(), (std::vector<std::string>{"speech_header.wav", "speech_mono.wav"}));
    EXPECT_NE(r.output.find("PCM 16-bit mono 16000 Hz"), std::string::npos) << r.output;

}

TEST(MediaCli, SplitCutsAnMp3AndListsThePieces) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    const std::string src = ten_minutes_mp3(tmp, "memo.mp3");
    ASSERT_FALSE(src.empty());
    auto r = run_command(shell_quote(ORVKT_CLI) + " split " + q(src) + " --length 240", false);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "split " + src + " into 3 piece(s):\n" + tmp.path("memo_001.mp3") + "\n" +
                            tmp.path("memo_002.mp3") + "\n" + tmp.path("memo_003.mp3") + "\n");
    EXPECT_EQ(read_bytes(tmp.path("memo_001.mp3")).size(), 3334u * kFrameBytes);

    TempDir out;
    r = run_command(cli() + "split " + q(src) + " -l 100 --overlap 20 -n 2 -o " + q(out.dir()) + " -m 'part%d.mp3'",
                    false);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(out.entries(), (std::vector<std::string>{"part1.mp3", "part2.mp3"}));

    r = run_command(cli() + "split -f " + q(src) + " -l 100 --password-stdin < /dev/null");
    EXPECT_EQ(r.status, 44) << r.output;
    r = run_command(cli() + "split " + q(src) + " -l 100 --overlap 100");
    EXPECT_EQ(r.status, 10) << r.output;
}

TEST(MediaCli, InfoReportsFormatsAndLengths) {
    auto r = run_command(cli() + "info --json " + q(data_path("speech_stereo.wma")), false);
    ASSERT_EQ(r.status, 0) << r.output;
    auto j = nlohmann::json::parse(r.output);
    EXPECT_EQ(j["kind"], "wma");
    EXPECT_EQ(j["format"]["channels"], 1);
    EXPECT_EQ(j["format"]["samples_per_sec"], 16000);
    EXPECT_NEAR(j["length_ms"].get<double>(), 1856.0, 128.0);

    r = run_command(cli() + "info --json " + q(data_path("speech_header.mp3")), false);
    ASSERT_EQ(r.status, 0) << r.output;
    j = nlohmann::json::parse(r.output);
    EXPECT_EQ(j["kind"], "mp3");
    EXPECT_EQ(j["format"]["format_tag"], 0x55);
    EXPECT_EQ(j["format"]["avg_bytes_per_sec"], 3000);
    EXPECT_EQ(j["frames"], 53);
    EXPECT_EQ(j["variable_bitrate"], false);
    EXPECT_EQ(j["length_ms"], 53 * 36);
    EXPECT_EQ(j["markers"].size(), 2u);

    // LAME's information frame at the start of a 32 kbit/s recording is no
    // audio: neither its bit rate nor its place in the frame count shows.
    r = run_command(cli() + "info --json " + q(data_path("speech_stereo.mp3")), false);
    ASSERT_EQ(r.status, 0) << r.output;
    j = nlohmann::json::parse(r.output);
    EXPECT_EQ(j["format"]["avg_bytes_per_sec"], 4000);
    EXPECT_EQ(j["variable_bitrate"], false);
    EXPECT_EQ(j["frames"], 73);

    r = run_command(cli() + "info " + q(data_path("speech_mono.wma")), false);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("kind        WMA"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("16000 Hz"), std::string::npos) << r.output;
}
