// Opening media files through CWMFAudioFile: formats and durations of the
// ffmpeg-made fixtures, the header image of the private frame, and the
// result codes of files that are no usable recordings.
#include "media/media_audio_file.h"

#include "media/media_files.h"
#include "trace/xkrvlog_capture.h"

using namespace orvkt_test;
using namespace media_test;

TEST(WMFAudioFile, ReportsTheDecodedFormatAndDurationOfTheFixtures) {
    struct Case {
        const char* name;
        uint16_t channels;
        uint32_t rate;
    };
    for (const Case c : {Case{"speech_mono.mp3", 1, 16000}, Case{"speech_stereo.mp3", 2, 22050},
                         Case{"speech_mono.wma", 1, 16000}, Case{"speech_stereo.wma", 2, 16000}}) {
        SCOPED_TRACE(c.name);
        CWMFAudioFile audio;
        ASSERT_EQ(audio.open(data_path(c.name).c_str()), 0u);
        EXPECT_EQ(audio.stream_number(), 1);
        WAVEFORMATEX f{};
        ASSERT_EQ(audio.get_output_format(&f), 0u);
        EXPECT_EQ(+f.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(+f.nChannels, c.channels);
        EXPECT_EQ(+f.nSamplesPerSec, c.rate);
        EXPECT_EQ(+f.wBitsPerSample, 16);
        EXPECT_EQ(+f.nBlockAlign, 2 * c.channels);
        EXPECT_EQ(+f.nAvgBytesPerSec, 2u * c.channels * c.rate);
        EXPECT_EQ(+f.cbSize, 0);
        int64_t duration = 0;
        ASSERT_EQ(audio.get_duration(&duration), 0u);
        // The fixtures are 1.86 to 1.91 s long (ffprobe).
        EXPECT_GT(duration, 18'000'000);
        EXPECT_LT(duration, 19'500'000);
    }
}

TEST(WMFAudioFile, ReadsTheHeaderImageOfThePrivateFrame) {
    const Bytes expected = read_bytes(data_path("dictation_header.bin"));
    CWMFAudioFile audio;
    ASSERT_EQ(audio.open(data_path("speech_header.mp3").c_str()), 0u);
    Bytes image(kImage, 0xAA);
    ASSERT_EQ(audio.ReadDSSHeaders(image.data(), 1536), 0u);
    EXPECT_EQ(image, expected);
    // A smaller buffer receives the first header blocks only.
    Bytes two(1024 + 16, 0xAA);
    ASSERT_EQ(audio.ReadDSSHeaders(two.data(), 1024), 0u);
    EXPECT_TRUE(std::equal(two.begin(), two.begin() + 1024, expected.begin()));
    EXPECT_EQ(two[1024], 0xAA) << "nothing beyond the size given";
    // Sizes that are no multiple of a header block.
    EXPECT_EQ(audio.ReadDSSHeaders(image.data(), 0), 25u);
    EXPECT_EQ(audio.ReadDSSHeaders(image.data(), 1000), 25u);

    // The other fixture's tag carries a foreign private frame too.
    ASSERT_EQ(audio.open(data_path("dictation_v23.mp3").c_str()), 0u);
    ASSERT_EQ(audio.ReadDSSHeaders(image.data(), 1536), 0u);
    EXPECT_EQ(image, expected);
}

TEST(WMFAudioFile, FilesWithoutAUsableFrameHaveNoHeader) {
    TempDir tmp;
    CWMFAudioFile audio;
    Bytes image(kImage);
    // No tag at all, and a tag without a private frame.
    for (const char* name : {"speech_mono.mp3", "no_priv.mp3"}) {
        ASSERT_EQ(audio.open(data_path(name).c_str()), 0u) << name;
        EXPECT_EQ(audio.ReadDSSHeaders(image.data(), 1536), 47u) << name;
    }

    // Our frame with version 1 (byte 33 of its body), patched into a copy.
    Bytes file = read_bytes(data_path("speech_header.mp3"));
    const size_t at = image_offset(file);
    ASSERT_GT(at, 0u);
    ASSERT_EQ(file[at - 1], 0) << "version byte";
    file[at - 1] = 1;
    write_bytes(tmp.path("v1.mp3"), file);
    {
        xkrvlog::Capture trace;
        ASSERT_EQ(audio.open(tmp.path("v1.mp3").c_str()), 0u);
        EXPECT_EQ(audio.ReadDSSHeaders(image.data(), 1536), 47u);
        EXPECT_TRUE(trace.contains("invalid version in PRIV"));
    }

    // Our frame with an image one block short: hand-laid tag before the
    // fixture's frames.
    const Bytes audio_frames = read_bytes(data_path("speech_mono.mp3"));
    Bytes short_file = id3_tag_with_priv(Bytes(1024, 0x11));
    short_file.insert(short_file.end(), audio_frames.begin(), audio_frames.end());
    write_bytes(tmp.path("short.mp3"), short_file);
    {
        xkrvlog::Capture trace;
        ASSERT_EQ(audio.open(tmp.path("short.mp3").c_str()), 0u);
        EXPECT_EQ(audio.ReadDSSHeaders(image.data(), 1536), 47u);
        EXPECT_TRUE(trace.contains("invalid length in PRIV"));
    }
}

TEST(WMFAudioFile, FilesThatAreNoRecordingsGiveClearCodes) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    write_bytes(tmp.path("empty.mp3"), {});
    write_bytes(tmp.path("text.mp3"), Bytes(4000, 'x'));
    // An ID3v2 tag (with our frame) and nothing behind it.
    write_bytes(tmp.path("tag_only.mp3"), id3_tag_with_priv(Bytes(kImage, 0)));
    const std::string video = ffmpeg_make(tmp, "video.wma", "-f lavfi -i color=c=black:s=16x16:d=0.3 -c:v wmv2 -f asf");
    ASSERT_FALSE(video.empty());

    CWMFAudioFile audio;
    xkrvlog::Capture trace;
    EXPECT_EQ(audio.open(tmp.path("missing.mp3").c_str()), 14u);
    EXPECT_EQ(audio.open(tmp.path("empty.mp3").c_str()), 14u);
    EXPECT_EQ(audio.open(tmp.path("text.mp3").c_str()), 14u);
    EXPECT_EQ(audio.open(tmp.path("tag_only.mp3").c_str()), 14u);
    EXPECT_EQ(audio.open(video.c_str()), 38u);
    EXPECT_TRUE(trace.contains_error(38, "input stream not found"));
    // Reader failures are written as "0x%08x : text" under 46.
    bool formatted = false;
    for (const auto& line : trace.lines())
        if (line.level == xkrvlog::Level::Error && line.code == 46 &&
            line.text.find(" : pReader->Open failed") == 10 && line.text.rfind("0x", 0) == 0)
            formatted = true;
    EXPECT_TRUE(formatted);
    // Nothing can be read from an object whose open failed.
    WAVEFORMATEX f{};
    int64_t d = 0;
    EXPECT_EQ(audio.get_output_format(&f), 46u);
    EXPECT_EQ(audio.get_duration(&d), 46u);
    EXPECT_EQ(audio.reader(), nullptr);
}
