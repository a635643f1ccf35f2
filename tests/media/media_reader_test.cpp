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

TEST(MediaReader, StereoMp3DecodesToInterleavedPcmOfItsDuration) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    // 3 s: a 440 Hz tone on the left, silence on the right.
    std::string mp3 = make_with_ffmpeg(
        tmp, "st.mp3",
        "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=3 -f lavfi -i anullsrc=r=22050:cl=mono "
        "-filter_complex '[0][1]amerge=inputs=2' -t 3 -c:a libmp3lame -b:a 64k");
    ASSERT_FALSE(mp3.empty());
    MediaReader r;
    ASSERT_EQ(r.Open(mp3), S_OK);
    WAVEFORMATEX f = r.OutputFormat();
    EXPECT_EQ(+f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(+f.nChannels, 2);
    EXPECT_EQ(+f.nSamplesPerSec, 22050u);
    EXPECT_EQ(+f.nBlockAlign, 4);
    EXPECT_EQ(+f.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(+f.wBitsPerSample, 16);
    EXPECT_NEAR(static_cast<double>(r.Duration()) / kUnitsPerSecond, 3.0, 0.06);
    EXPECT_EQ(r.GetAttribute("Duration").size(), 1u);

    auto pcm = read_all(r);
    size_t frames = pcm.size() / 2;
    EXPECT_NEAR(static_cast<double>(frames) / 22050.0, 3.0, 1152.0 / 22050.0);
    double left = 0, right = 0;
    for (size_t i = 0; i < frames; ++i) {
        left += std::abs(pcm[2 * i]);
        right += std::abs(pcm[2 * i + 1]);
    }
    EXPECT_GT(left / frames, 1000.0) << "the tone is in the first channel";
    EXPECT_LT(right / frames, 50.0) << "the second channel is silent";
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

TEST(MediaReader, Id3PrivateFramesAreReportedAsAttributes) {
    // The fixture's tag (written by mutagen) holds our private frame and a
    // foreign one; both are reported, owner identifier first.
    MediaReader r;
    ASSERT_EQ(r.Open(data_path("dictation_v23.mp3")), S_OK);
    auto frames = r.GetAttribute("ID3/PRIV");
    ASSERT_EQ(frames.size(), 2u);
    const std::string owner = "https://orvane.example/dictation";
    bool ours = false;
    for (const auto& f : frames) {
        if (f.size() == 34 + 1536 && std::equal(owner.begin(), owner.end(), f.begin())) {
            ours = true;
            EXPECT_EQ(f[32], 0) << "owner terminator";
            EXPECT_EQ(f[33], 0) << "version";
            auto image = read_bytes(data_path("dictation_header.bin"));
            EXPECT_TRUE(std::equal(image.begin(), image.end(), f.begin() + 34));
        }
    }
    EXPECT_TRUE(ours);
    EXPECT_TRUE(r.GetAttribute("ID3/XXXX").empty());
    ASSERT_EQ(r.Open(data_path("no_priv.mp3")), S_OK);
    EXPECT_TRUE(r.GetAttribute("ID3/PRIV").empty());
}
