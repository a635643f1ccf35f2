// Media files through CWMFAudioFile and CWmaFile.
#include "media/media_audio_file.h"

#include "convert/conv_files.h"
#include "media/wma_file.h"
#include "trace/xkrvlog_capture.h"

using namespace orvkt_test;
using namespace conv_test;

TEST(WMFAudioFile, ReadsTheHeaderImageOfThePrivateFrame) {
    const Bytes expected = read_bytes(data_path("dictation_header.bin"));
    CWMFAudioFile audio;
    // The second fixture's tag carries a foreign private frame too.
    for (const char* name : {"speech_header.mp3", "dictation_v23.mp3"}) {
        ASSERT_EQ(audio.open(data_path(name).c_str()), 0u);
        Bytes image(kImage, 0xAA);
        ASSERT_EQ(audio.ReadDSSHeaders(image.data(), 1536), 0u);
        EXPECT_EQ(image, expected) << name;
    }
    // A smaller buffer receives the first header blocks only.
    Bytes two(1024 + 16, 0xAA);
    ASSERT_EQ(audio.ReadDSSHeaders(two.data(), 1024), 0u);
    EXPECT_TRUE(std::equal(two.begin(), two.begin() + 1024, expected.begin()));
    EXPECT_EQ(two[1024], 0xAA) << "nothing beyond the size given";
    EXPECT_EQ(audio.ReadDSSHeaders(two.data(), 0), VKT_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(audio.ReadDSSHeaders(two.data(), 1000), VKT_ERR_BUFFER_TOO_SMALL);
}

TEST(WMFAudioFile, FilesThatAreNoRecordingsGiveClearCodes) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    write_bytes(tmp.path("empty.mp3"), {});
    write_bytes(tmp.path("text.mp3"), Bytes(4000, 'x'));
    write_bytes(tmp.path("tag_only.mp3"), id3_tag_with_priv(Bytes(kImage, 0)));
    const std::string video = ffmpeg_make(tmp, "video.wma", "-f lavfi -i color=c=black:s=16x16:d=0.3 -c:v wmv2 -f asf");
    ASSERT_FALSE(video.empty());
    CWMFAudioFile audio;
    xkrvlog::Capture trace;
    for (const char* name : {"missing.mp3", "empty.mp3", "text.mp3", "tag_only.mp3"})
        EXPECT_EQ(audio.open(tmp.path(name).c_str()), VKT_ERR_OPEN_FILE) << name;
    EXPECT_EQ(audio.open(video.c_str()), VKT_ERR_INVALID_CONTENT);
    EXPECT_TRUE(trace.contains_error(38, "input stream not found"));
    // Reader failures are written as "0x%08x : text" under 46.
    bool formatted = false;
    for (const auto& line : trace.lines())
        formatted |= line.level == xkrvlog::Level::Error && line.code == 46 &&
                     line.text.find(" : pReader->Open failed") == 10 && line.text.rfind("0x", 0) == 0;
    EXPECT_TRUE(formatted);
    WAVEFORMATEX f{};
    int64_t d = 0;
    EXPECT_EQ(audio.get_output_format(&f), VKT_ERR_MEDIA_READER);
    EXPECT_EQ(audio.get_duration(&d), VKT_ERR_MEDIA_READER);
    EXPECT_EQ(audio.reader(), nullptr);
    EXPECT_EQ(convert(Export::WmaToWav, video, tmp.path("out.wav"), pcm_format(8000)), VKT_ERR_INVALID_CONTENT);
    EXPECT_TRUE(trace.contains("Error DSSToWAVInternal called at ORVKTWMAToWAV"));
}

TEST(WmaFile, ReadsInAnyPieceSizeGiveTheSameBytes) {
    CWmaFile whole;
    ASSERT_EQ(whole.create_file(data_path("speech_stereo.wma").c_str()), 0u);
    EXPECT_TRUE(whole.IsStereoToMono());
    const uint32_t size = whole.get_sizeof_data();
    ASSERT_GT(size, 50000u);
    Bytes all(size + 100);
    ASSERT_EQ(whole.read_data(all.data(), static_cast<uint32_t>(all.size())), size);
    all.resize(size);
    EXPECT_EQ(whole.read_data(all.data(), 10), 0u) << "at the end";
    // Measuring the length in between makes the reader start again.
    CWmaFile pieces;
    ASSERT_EQ(pieces.create_file(data_path("speech_stereo.wma").c_str()), 0u);
    Bytes joined, buffer(777);
    bool measured = false;
    while (const uint32_t got = pieces.read_data(buffer.data(), static_cast<uint32_t>(buffer.size()))) {
        joined.insert(joined.end(), buffer.begin(), buffer.begin() + got);
        if (!measured && joined.size() > size / 2) {
            EXPECT_EQ(pieces.get_sizeof_data(), size);
            measured = true;
        }
    }
    EXPECT_TRUE(measured);
    EXPECT_EQ(joined, all);
}

TEST(WmfConvertToWav, TheEncoderDelayOfALameInfoFrameIsDroppedAsFfmpegDoes) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    // ffprobe's duration of LAME's info frame counts delay and padding, which decoders drop.
    TempDir tmp;
    const std::string src = data_path("speech_stereo.mp3"), out = tmp.path("stereo.wav"), raw = tmp.path("ff.raw");
    ASSERT_EQ(ORVKTWMFConvertToWAV(src.c_str(), out.c_str(), nullptr, nullptr, 0), 0u);
    const auto wav = parse_wav(out);
    ASSERT_EQ(run_command("ffmpeg -v error -i " + shell_quote(src) + " -f s16le " + shell_quote(raw)).status, 0);
    EXPECT_EQ(wav.data.size(), read_bytes(raw).size());
    EXPECT_LT(static_cast<double>(wav.data.size()) / wav.format.nAvgBytesPerSec,
              ffprobe_duration(src) - 2 * 576.0 / 22050);
}

