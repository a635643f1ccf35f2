// MP3 to WAV: the media reader's conversion (ORVKTWMFConvertToWAV) and
// ORVKTMP3ToWAV with its mix and format-change steps, on the ffmpeg-made
// fixtures. WAV files are read back without the library's RIFF code.
#include "OrvaneVktapi.h"
#include "media/media_files.h"
#include "trace/xkrvlog_capture.h"
#include "convert/format_queries.h"

using namespace orvkt_test;
using namespace media_test;
using conv_test::parse_wav;
using conv_test::pcm_format;
using conv_test::ProgressLog;
using conv_test::rms;

namespace {

// A copy of a fixture in the scratch folder.
std::string copy_fixture(const TempDir& tmp, const std::string& name) {
    write_bytes(tmp.path(name), read_bytes(data_path(name)));
    return tmp.path(name);
}

}  // namespace

TEST(WmfConvertToWav, DecodesTheSpeechAndCarriesHeaderAndMarkers) {
    TempDir tmp;
    const std::string out = tmp.path("out.wav");
    WAVEFORMATEX written{};
    ProgressLog progress;
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_header.mp3").c_str(), out.c_str(), &written,
                                   &ProgressLog::callback, progress.user()),
              0u);
    EXPECT_EQ(+written.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(+written.nChannels, 1);
    EXPECT_EQ(+written.nSamplesPerSec, 16000u);

    const auto wav = parse_wav(out);
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(+wav.format.nChannels, 1);
    EXPECT_EQ(+wav.format.nSamplesPerSec, 16000u);
    EXPECT_EQ(+wav.format.wBitsPerSample, 16);
    EXPECT_GT(rms(wav.samples()), 300.0) << "speech, not silence";

    ASSERT_FALSE(progress.percents.empty());
    EXPECT_TRUE(progress.monotone());
    EXPECT_EQ(progress.percents.back(), 100u);
    for (uint32_t m : progress.messages) EXPECT_EQ(m, VKT_PROGRESS_MESSAGE);

    // Headers 1 and 2 of the image sit in the ICMT sub-chunk as stored;
    // the markers of header 3 arrive as well.
    const Bytes image = read_bytes(data_path("dictation_header.bin"));
    ASSERT_TRUE(contains(wav.list, "ICMT"));
    const std::string list(wav.list.begin(), wav.list.end());
    const size_t icmt = list.find("ICMT");
    ASSERT_GE(wav.list.size() - icmt, 8u + 1024u);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 1024, wav.list.begin() + static_cast<long>(icmt + 8)));
    uint8_t markers[256];
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(out.c_str(), markers), 0u);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{1000, 2500}, {5000, 6000}};
    EXPECT_EQ(marker_list(markers), expected);
}

TEST(WmfConvertToWav, AnMp3WithoutPrivateFrameGivesAWavWithoutHeaderChunks) {
    TempDir tmp;
    const std::string out = tmp.path("out.wav");
    xkrvlog::Capture trace;
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_mono.mp3").c_str(), out.c_str(), nullptr, nullptr, 0), 0u);
    const Bytes bytes = read_bytes(out);
    EXPECT_FALSE(contains(bytes, "ICMT"));
    EXPECT_FALSE(contains(bytes, "IKEY"));
    EXPECT_TRUE(trace.contains("no dictation header copied from the source"));
    ZRM2HeaderInfo h{};
    h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    EXPECT_EQ(ORVKTReadZRM2Header(data_path("speech_mono.mp3").c_str(), &h), 47u);
    EXPECT_NE(ORVKTReadZRM2Header(out.c_str(), &h), 0u);
}

TEST(WmfConvertToWav, TheEncoderDelayOfALameInfoFrameIsDroppedAsFfmpegDoes) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    // The stereo fixture starts with LAME's info frame: ffprobe's duration
    // (1.907 s) counts the encoder's delay and padding, which decoders drop
    // (ffmpeg decodes 1.831 s). Our reader drops the same samples.
    TempDir tmp;
    const std::string out = tmp.path("stereo.wav");
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_stereo.mp3").c_str(), out.c_str(), nullptr, nullptr, 0), 0u);
    const auto wav = parse_wav(out);
    ASSERT_TRUE(wav.ok);
    const std::string raw = tmp.path("ffmpeg.raw");
    ASSERT_EQ(run_command("ffmpeg -v error -i " + shell_quote(data_path("speech_stereo.mp3")) + " -f s16le " +
                          shell_quote(raw))
                  .status,
              0);
    EXPECT_EQ(wav.data.size(), read_bytes(raw).size());
    EXPECT_LT(static_cast<double>(wav.data.size()) / wav.format.nAvgBytesPerSec,
              ffprobe_duration(data_path("speech_stereo.mp3")) - 2 * 576.0 / 22050);
}

TEST(WmfConvertToWav, RefusesBadInputAndLeavesNothingBehind) {
    TempDir tmp;
    const std::string out = tmp.path("out.wav");
    EXPECT_EQ(ORVKTWMFConvertToWAV(tmp.path("missing.mp3").c_str(), out.c_str(), nullptr, nullptr, 0), 14u);
    write_bytes(tmp.path("empty.mp3"), {});
    EXPECT_EQ(ORVKTWMFConvertToWAV(tmp.path("empty.mp3").c_str(), out.c_str(), nullptr, nullptr, 0), 14u);
    write_bytes(tmp.path("tag_only.mp3"), id3_tag_with_priv(Bytes(kImage, 0)));
    EXPECT_EQ(ORVKTWMFConvertToWAV(tmp.path("tag_only.mp3").c_str(), out.c_str(), nullptr, nullptr, 0), 14u);
    EXPECT_FALSE(file_exists(out));

    // The source as its own destination would be cut while it is read.
    const std::string src = copy_fixture(tmp, "speech_mono.mp3");
    EXPECT_EQ(ORVKTWMFConvertToWAV(src.c_str(), src.c_str(), nullptr, nullptr, 0), 14u);
    EXPECT_EQ(read_bytes(src), read_bytes(data_path("speech_mono.mp3")));

    // A cancel removes the half-written file.
    ProgressLog cancel;
    cancel.cancel_at = 3;
    EXPECT_EQ(ORVKTWMFConvertToWAV(src.c_str(), out.c_str(), nullptr, &ProgressLog::callback, cancel.user()), 2u);
    EXPECT_EQ(cancel.percents.size(), 3u);
    EXPECT_FALSE(file_exists(out));
}

TEST(WmfConvertToWav, ATruncatedMp3ConvertsWhatItHolds) {
    TempDir tmp;
    Bytes file = read_bytes(data_path("speech_mono.mp3"));
    // Cut in the middle of a frame (frames are 108 bytes here: 24 kbit/s at 16000/s).
    file.resize(file.size() / 2 + 37);
    write_bytes(tmp.path("cut.mp3"), file);
    const std::string out = tmp.path("cut.wav");
    ASSERT_EQ(ORVKTWMFConvertToWAV(tmp.path("cut.mp3").c_str(), out.c_str(), nullptr, nullptr, 0), 0u);
    const auto wav = parse_wav(out);
    ASSERT_TRUE(wav.ok);
    const double seconds = static_cast<double>(wav.data.size()) / 32000.0;
    EXPECT_NEAR(seconds, 1.908 / 2, 0.15);
}

TEST(Mp3ToWav, AStereoSourcePassesThroughTheMixStep) {
    TempDir tmp;
    // The decoder's own stereo output, to compare the mix with.
    const std::string stereo = tmp.path("stereo.wav");
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_stereo.mp3").c_str(), stereo.c_str(), nullptr, nullptr, 0), 0u);
    const auto both = parse_wav(stereo);
    ASSERT_TRUE(both.ok);
    ASSERT_EQ(+both.format.nChannels, 2);

    const std::string out = tmp.path("mono.wav");
    const WAVEFORMATEX wanted = pcm_format(22050);
    ProgressLog progress;
    xkrvlog::Capture trace;
    ASSERT_EQ(ORVKTMP3ToWAV(data_path("speech_stereo.mp3").c_str(), out.c_str(), &wanted, &ProgressLog::callback,
                            progress.user()),
              0u);
    EXPECT_TRUE(trace.contains("+ORVKTWAVMixStereo"));
    // The mix already gives the wanted format: no converter runs.
    EXPECT_FALSE(trace.contains("-----VKTWAVToWAVInternal(...)"));
    EXPECT_TRUE(progress.monotone());
    ASSERT_GE(progress.percents.size(), 3u);
    EXPECT_EQ(progress.percents.back(), 100u);
    bool decoding = false, mixing = false;
    for (uint32_t p : progress.percents) {
        decoding |= p > 0 && p <= 40;
        mixing |= p > 40 && p <= 50;
    }
    EXPECT_TRUE(decoding);
    EXPECT_TRUE(mixing);

    const auto mono = parse_wav(out);
    ASSERT_TRUE(mono.ok);
    EXPECT_EQ(+mono.format.nChannels, 1);
    const auto s = both.samples();
    const auto m = mono.samples();
    ASSERT_EQ(m.size() * 2, s.size());
    // L/2 + R/2, each halved toward zero.
    size_t differ = 0;
    for (size_t i = 0; i < m.size(); ++i)
        if (m[i] != static_cast<int16_t>(s[2 * i] / 2 + s[2 * i + 1] / 2)) ++differ;
    EXPECT_EQ(differ, 0u);
    EXPECT_GT(rms(m), 150.0);
    // Only the destination remains: the temporary files are gone.
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"mono.wav", "stereo.wav"}));
}

TEST(Mp3ToWav, AMonoSourceInTheWantedFormatIsRenamedNotConverted) {
    TempDir tmp;
    const std::string direct = tmp.path("direct.wav");
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_header.mp3").c_str(), direct.c_str(), nullptr, nullptr, 0), 0u);

    const std::string out = tmp.path("out.wav");
    const WAVEFORMATEX wanted = pcm_format(16000);
    ProgressLog progress;
    xkrvlog::Capture trace;
    ASSERT_EQ(ORVKTMP3ToWAV(data_path("speech_header.mp3").c_str(), out.c_str(), &wanted, &ProgressLog::callback,
                            progress.user()),
              0u);
    EXPECT_FALSE(trace.contains("+ORVKTWAVMixStereo"));
    EXPECT_FALSE(trace.contains("-----VKTWAVToWAVInternal(...)"));
    ASSERT_GE(progress.percents.size(), 2u);
    EXPECT_EQ(progress.percents.back(), 100u);
    EXPECT_LE(progress.percents[progress.percents.size() - 2], 40u) << "decoding reports up to 40, then 100";
    EXPECT_EQ(read_bytes(out), read_bytes(direct));
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"direct.wav", "out.wav"}));
}

// MP3 and WMA to a format other than the decoded one: the decoded file goes
// through the PCM converter (reports between 50 and 100), and the dictation
// header of the source comes along.
TEST(MediaToWav, AnotherFormatRunsTheConverterAndKeepsTheHeader) {
    const struct {
        const char* source;
        uint32_t (*convert)(const char*, const char*, const WAVEFORMATEX*, ProgressCallback, intptr_t);
        double ms, tolerance;
        size_t markers;
    } rows[] = {
        {"speech_header.mp3", &ORVKTMP3ToWAV, 1908, 41, 2},
        {"speech_stereo.wma", &ORVKTWMAToWAV, 1856, 130, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.source);
        TempDir tmp;
        const std::string out = tmp.path("out.wav");
        const WAVEFORMATEX wanted = pcm_format(8000, 8);
        ProgressLog progress;
        ASSERT_EQ(r.convert(data_path(r.source).c_str(), out.c_str(), &wanted, &ProgressLog::callback,
                            progress.user()),
                  0u);
        const auto wav = parse_wav(out);
        ASSERT_TRUE(wav.ok);
        EXPECT_EQ(+wav.format.nSamplesPerSec, 8000u);
        EXPECT_EQ(+wav.format.wBitsPerSample, 8);
        EXPECT_EQ(+wav.format.nChannels, 1);
        uint32_t ms = 0;
        ASSERT_EQ(ORVKTWAVGetSndDataLength(out.c_str(), &ms), 0u);
        EXPECT_NEAR(ms, r.ms, r.tolerance);
        EXPECT_TRUE(progress.monotone());
        EXPECT_EQ(progress.percents.back(), 100u);
        bool converting = false;
        for (uint32_t p : progress.percents) converting |= p > 50 && p < 100;
        EXPECT_TRUE(converting);
        if (r.markers) {
            uint8_t markers[256];
            ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(out.c_str(), markers), 0u);
            EXPECT_EQ(marker_list(markers).size(), r.markers);
        }
        EXPECT_EQ(tmp.entries(), std::vector<std::string>{"out.wav"});
    }
}

TEST(Mp3ToWav, AFolderAsDestinationWritesBesideTheSource) {
    TempDir tmp;
    const std::string src = copy_fixture(tmp, "speech_mono.mp3");
    const WAVEFORMATEX wanted = pcm_format(16000);
    ASSERT_EQ(ORVKTMP3ToWAV(src.c_str(), (tmp.dir() + "/").c_str(), &wanted, nullptr, 0), 0u);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"speech_mono.Wav", "speech_mono.mp3"}));
}

TEST(Mp3ToWav, FailuresLeaveNoFiles) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    const std::string src = copy_fixture(tmp, "speech_stereo.mp3");
    const std::string out = tmp.path("out.wav");
    const WAVEFORMATEX wanted = pcm_format(8000);
    EXPECT_EQ(ORVKTMP3ToWAV(tmp.path("missing.mp3").c_str(), out.c_str(), &wanted, nullptr, 0), 14u);
    const std::string video = ffmpeg_make(tmp, "video.mp4", "-f lavfi -i color=c=black:s=16x16:d=0.3 -c:v mpeg4");
    ASSERT_FALSE(video.empty());
    EXPECT_EQ(ORVKTMP3ToWAV(video.c_str(), out.c_str(), &wanted, nullptr, 0), 38u);
    // A format the converter cannot make.
    WAVEFORMATEX odd = pcm_format(8000);
    odd.cbSize = 2;
    EXPECT_EQ(ORVKTMP3ToWAV(src.c_str(), out.c_str(), &odd, nullptr, 0), 21u);
    odd = pcm_format(8000);
    odd.nAvgBytesPerSec = 8000;  // half of what 16-bit samples at 8000/s take
    EXPECT_EQ(ORVKTMP3ToWAV(src.c_str(), out.c_str(), &odd, nullptr, 0), 21u);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"speech_stereo.mp3", "video.mp4"}));
}
