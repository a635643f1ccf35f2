// orvkt convert and split with MP3 and WMA files.
#include "convert/conv_files.h"

using namespace orvkt_test;
using namespace conv_test;

namespace {
std::string cli() { return shell_quote(ORVKT_CLI) + " -q "; }
std::string q(const std::string& s) { return shell_quote(s); }
}  // namespace

// By default 16-bit mono at the source's rate; a batch of both kinds, each into a .wav of its name.
TEST(MediaCli, ConvertTakesMp3AndWmaSourcesToMonoWav) {
    TempDir tmp, out;
    for (const auto& [source, options, rate, bits] : {std::tuple{"speech_stereo.mp3", "", 22050u, 16},
                                                      {"speech_stereo.wma", " --rate 8000 --format pcm8", 8000u, 8}}) {
        const auto r = run_command(cli() + "convert " + q(data_path(source)) + " " + q(tmp.path("a.wav")) + options + " -f");
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(parse_wav(tmp.path("a.wav")).format, unpack(pcm_format(rate, static_cast<uint16_t>(bits)))) << source;
    }
    const auto r = run_command(shell_quote(ORVKT_CLI) + " convert " + q(data_path("speech_header.mp3")) + " " +
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
