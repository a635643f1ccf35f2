// The media reader over FFmpeg's libraries, on files made by ffmpeg itself.
#include "platform/media_reader.h"

#include "convert/conv_files.h"

using namespace orvkt_test;
using namespace vkt::media;

namespace {

std::vector<int16_t> read_all(MediaReader& reader, int64_t* first_time = nullptr) {
    std::vector<int16_t> pcm;
    Sample s;
    while (reader.GetNextSample(&s) == S_OK) {
        if (pcm.empty() && first_time) *first_time = s.time;
        const size_t at = pcm.size();
        pcm.resize(at + s.data.size() / 2);
        std::memcpy(pcm.data() + at, s.data.data(), s.data.size() / 2 * 2);
    }
    return pcm;
}

}  // namespace

TEST(MediaReader, RangeCutsDecodedSamplesAndCompressedModeHandsOutMp3Frames) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    std::string wma = conv_test::ffmpeg_make(tmp, "m.wma", "-f lavfi -i sine=frequency=300:sample_rate=16000:duration=4 -c:a wmav2 -b:a 32k");
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
    // Compressed mode: the stored MP3 frames.
    std::string mp3 = conv_test::ffmpeg_make(tmp, "m.mp3",
                                       "-f lavfi -i sine=frequency=500:sample_rate=16000:duration=2 -c:a libmp3lame -b:a 32k -write_xing 0 -id3v2_version 0");
    ASSERT_FALSE(mp3.empty());
    MediaReader c;
    ASSERT_EQ(c.Open(mp3), S_OK);
    ASSERT_EQ(c.SetReadStreamSamples(true), S_OK);
    EXPECT_EQ(c.OutputFormat().wFormatTag, WAVE_FORMAT_MPEGLAYER3);
    auto file = read_bytes(mp3);
    Sample s;
    size_t total = 0, count = 0;
    while (c.GetNextSample(&s) == S_OK) {
        ASSERT_GE(s.data.size(), 4u);
        EXPECT_EQ(s.data[0], 0xFF);
        EXPECT_EQ(s.data[1] & 0xE0, 0xE0) << "every sample starts with a frame sync";
        total += s.data.size();
        ++count;
    }
    EXPECT_GT(count, 50u);
    EXPECT_EQ(total, file.size()) << "without tag and info frame the frames are the whole file";
}

