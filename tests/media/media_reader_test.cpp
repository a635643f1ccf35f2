// The media reader over FFmpeg's libraries, on files made by ffmpeg itself.
#include "platform/media_reader.h"

#include <cmath>
#include <cstring>

#include "support/test_support.h"

using namespace orvkt_test;
using namespace vkt::media;

namespace {

// Makes a file with ffmpeg from a lavfi source; returns its path ("" on failure).
std::string make_with_ffmpeg(const TempDir& tmp, const std::string& name, const std::string& args) {
    std::string out = tmp.path(name);
    auto r = run_command("ffmpeg -hide_banner -loglevel error -y " + args + " " + shell_quote(out));
    return r.status == 0 ? out : std::string();
}

std::vector<int16_t> read_all(MediaReader& reader, int64_t* first_time = nullptr) {
    std::vector<int16_t> pcm;
    Sample s;
    bool first = true;
    while (reader.GetNextSample(&s) == S_OK) {
        if (first && first_time) *first_time = s.time;
        first = false;
        size_t n = s.data.size() / 2;
        size_t at = pcm.size();
        pcm.resize(at + n);
        std::memcpy(pcm.data() + at, s.data.data(), n * 2);
    }
    return pcm;
}

}  // namespace

TEST(MediaReader, OpenFailuresAreToldApart) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    MediaReader r;
    EXPECT_EQ(r.Open(tmp.path("missing.mp3")), NS_E_FILE_OPEN_FAILED);
    write_bytes(tmp.path("text.mp3"), std::vector<uint8_t>(3000, 'x'));
    EXPECT_EQ(r.Open(tmp.path("text.mp3")), NS_E_INVALID_INPUT_FORMAT);
    std::string video = make_with_ffmpeg(tmp, "v.mkv", "-f lavfi -i color=c=black:s=16x16:d=0.2 -c:v ffv1");
    ASSERT_FALSE(video.empty());
    EXPECT_EQ(r.Open(video), NS_E_NO_AUDIO_STREAM);
    EXPECT_FALSE(r.IsOpen());
    Sample s;
    EXPECT_EQ(r.GetNextSample(&s), NS_E_NOT_OPENED);
}

TEST(MediaReader, RangeCutsDecodedSamplesExactly) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    std::string wma = make_with_ffmpeg(tmp, "m.wma", "-f lavfi -i sine=frequency=300:sample_rate=16000:duration=4 -c:a wmav2 -b:a 32k");
    ASSERT_FALSE(wma.empty());
    MediaReader r;
    ASSERT_EQ(r.Open(wma), S_OK);
    EXPECT_EQ(+r.OutputFormat().nChannels, 1);
    ASSERT_EQ(r.SetRange(kUnitsPerSecond, kUnitsPerSecond / 2), S_OK);
    int64_t first = -1;
    auto part = read_all(r, &first);
    EXPECT_EQ(part.size(), 8000u) << "half a second at 16000/s";
    EXPECT_EQ(first, kUnitsPerSecond);
    // Back to the start: everything again.
    ASSERT_EQ(r.SetRange(0, 0), S_OK);
    auto all = read_all(r, &first);
    EXPECT_NEAR(static_cast<double>(all.size()), 64000.0, 2048.0);
}

TEST(MediaReader, CompressedModeHandsOutStoredMp3Frames) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    std::string mp3 = make_with_ffmpeg(tmp, "m.mp3",
                                       "-f lavfi -i sine=frequency=500:sample_rate=16000:duration=2 -c:a libmp3lame -b:a 32k -write_xing 0 -id3v2_version 0");
    ASSERT_FALSE(mp3.empty());
    MediaReader r;
    ASSERT_EQ(r.Open(mp3), S_OK);
    ASSERT_EQ(r.SetReadStreamSamples(true), S_OK);
    EXPECT_EQ(r.OutputFormat().wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    auto file = read_bytes(mp3);
    Sample s;
    size_t total = 0, count = 0;
    while (r.GetNextSample(&s) == S_OK) {
        ASSERT_GE(s.data.size(), 4u);
        EXPECT_EQ(s.data[0], 0xFF);
        EXPECT_EQ(s.data[1] & 0xE0, 0xE0) << "every sample starts with a frame sync";
        total += s.data.size();
        ++count;
    }
    EXPECT_GT(count, 50u);
    EXPECT_EQ(total, file.size()) << "without tag and info frame the frames are the whole file";
}

