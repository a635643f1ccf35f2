// WMA files: their format and length as the conversion exports report
// them, and ORVKTWMAToWAV, which keeps the first channel only.
#include "media/wma_file.h"

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

TEST(WmaFormat, AStereoWmaReportsTheMonoFormatItConvertsTo) {
    WAVEFORMATEX f{};
    ASSERT_EQ(ORVKTReadWAVFormat(data_path("speech_mono.wma").c_str(), &f, sizeof f), 0u);
    EXPECT_EQ(+f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(+f.nChannels, 1);
    EXPECT_EQ(+f.nSamplesPerSec, 16000u);
    EXPECT_EQ(+f.nAvgBytesPerSec, 32000u);
    EXPECT_EQ(+f.nBlockAlign, 2);
    EXPECT_EQ(+f.wBitsPerSample, 16);

    // Upper-case extension; a buffer larger than the format gets zeros.
    TempDir tmp;
    write_bytes(tmp.path("S.WMA"), read_bytes(data_path("speech_stereo.wma")));
    uint8_t big[40];
    std::memset(big, 0xAA, sizeof big);
    ASSERT_EQ(ORVKTReadWAVFormat(tmp.path("S.WMA").c_str(), reinterpret_cast<WAVEFORMATEX*>(big), sizeof big), 0u);
    WAVEFORMATEX s{};
    std::memcpy(&s, big, sizeof s);
    EXPECT_EQ(+s.nChannels, 1) << "halved from 2";
    EXPECT_EQ(+s.nAvgBytesPerSec, 32000u) << "halved from 64000";
    EXPECT_EQ(+s.nBlockAlign, 2) << "halved from 4";
    EXPECT_EQ(+s.cbSize, 0);
    for (size_t i = sizeof s; i < sizeof big; ++i) EXPECT_EQ(big[i], 0) << i;

    WAVEFORMATEX small{};
    EXPECT_EQ(ORVKTReadWAVFormat(data_path("speech_mono.wma").c_str(), &small, 16), 22u);
    EXPECT_EQ(ORVKTReadWAVFormat(tmp.path("missing.wma").c_str(), &small, sizeof small), 14u);
}

TEST(WmaFormat, AnEmptyFileHasNoLength) {
    TempDir tmp;
    write_bytes(tmp.path("empty.wma"), {});
    uint32_t ms = 77;
    EXPECT_EQ(ORVKTWAVGetSndDataLength(tmp.path("empty.wma").c_str(), &ms), 14u);
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

    // Odd piece sizes cut decoded samples anywhere; measuring the length in
    // between makes the reader start again from the beginning.
    CWmaFile pieces;
    ASSERT_EQ(pieces.create_file(data_path("speech_stereo.wma").c_str()), 0u);
    Bytes joined;
    Bytes buffer(777);
    bool measured = false;
    for (;;) {
        const uint32_t got = pieces.read_data(buffer.data(), static_cast<uint32_t>(buffer.size()));
        if (got == 0) break;
        joined.insert(joined.end(), buffer.begin(), buffer.begin() + got);
        if (!measured && joined.size() > size / 2) {
            EXPECT_EQ(pieces.get_sizeof_data(), size);
            measured = true;
        }
    }
    EXPECT_TRUE(measured);
    EXPECT_EQ(joined, all);
}

TEST(WmaToWav, AStereoWmaGivesItsFirstChannel) {
    TempDir tmp;
    // Both channels as the reader decodes them.
    const std::string stereo = tmp.path("stereo.wav");
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_stereo.wma").c_str(), stereo.c_str(), nullptr, nullptr, 0), 0u);
    const auto both = parse_wav(stereo);
    ASSERT_TRUE(both.ok);
    ASSERT_EQ(+both.format.nChannels, 2);

    const std::string out = tmp.path("first.wav");
    const WAVEFORMATEX wanted = pcm_format(16000);
    ASSERT_EQ(ORVKTWMAToWAV(data_path("speech_stereo.wma").c_str(), out.c_str(), &wanted, nullptr, 0), 0u);
    const auto mono = parse_wav(out);
    ASSERT_TRUE(mono.ok);
    EXPECT_EQ(+mono.format.nChannels, 1);
    EXPECT_EQ(+mono.format.nSamplesPerSec, 16000u);
    const auto s = both.samples();
    const auto m = mono.samples();
    ASSERT_EQ(m.size() * 2, s.size());
    size_t differ = 0;
    std::vector<int16_t> second(m.size());
    for (size_t i = 0; i < m.size(); ++i) {
        if (m[i] != s[2 * i]) ++differ;
        second[i] = s[2 * i + 1];
    }
    EXPECT_EQ(differ, 0u);
    // The fixture's speech is in the first channel, the second is silent.
    EXPECT_GT(rms(m), 300.0);
    EXPECT_LT(rms(second), rms(m) / 10);
    // A WMA carries no dictation header.
    EXPECT_FALSE(contains(read_bytes(out), "ICMT"));
}

TEST(WmaToWav, AMatchingFormatIsRenamedWithoutCallingAnything) {
    TempDir tmp;
    const std::string out = tmp.path("out.wav");
    const WAVEFORMATEX wanted = pcm_format(16000);
    xkrvlog::Capture trace;
    ASSERT_EQ(ORVKTWMAToWAV(data_path("speech_mono.wma").c_str(), out.c_str(), &wanted, nullptr, 0), 0u);
    EXPECT_FALSE(trace.contains("-----VKTWAVToWAVInternal(...)"));
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"out.wav"});
    uint32_t ms = 0;
    ASSERT_EQ(ORVKTWAVGetSndDataLength(out.c_str(), &ms), 0u);
    uint32_t wma_ms = 0;
    ASSERT_EQ(ORVKTWAVGetSndDataLength(data_path("speech_mono.wma").c_str(), &wma_ms), 0u);
    EXPECT_EQ(ms, wma_ms);

    // With a callback: decoding reports up to 50, the rename 100.
    ProgressLog progress;
    ASSERT_EQ(ORVKTWMAToWAV(data_path("speech_mono.wma").c_str(), out.c_str(), &wanted, &ProgressLog::callback,
                            progress.user()),
              0u);
    ASSERT_GE(progress.percents.size(), 2u);
    EXPECT_EQ(progress.percents.back(), 100u);
    EXPECT_EQ(progress.percents[progress.percents.size() - 2], 50u);
}

TEST(WmaToWav, BadInputLeavesNoFiles) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    const std::string out = tmp.path("out.wav");
    const WAVEFORMATEX wanted = pcm_format(8000);
    EXPECT_EQ(ORVKTWMAToWAV(tmp.path("missing.wma").c_str(), out.c_str(), &wanted, nullptr, 0), 14u);
    write_bytes(tmp.path("empty.wma"), {});
    EXPECT_EQ(ORVKTWMAToWAV(tmp.path("empty.wma").c_str(), out.c_str(), &wanted, nullptr, 0), 14u);
    // An ASF file with a video stream only.
    const std::string video = ffmpeg_make(tmp, "video.wma", "-f lavfi -i color=c=black:s=16x16:d=0.3 -c:v wmv2 -f asf");
    ASSERT_FALSE(video.empty());
    {
        xkrvlog::Capture trace;
        EXPECT_EQ(ORVKTWMAToWAV(video.c_str(), out.c_str(), &wanted, nullptr, 0), 38u);
        EXPECT_TRUE(trace.contains("Error DSSToWAVInternal called at ORVKTWMAToWAV"));
    }
    WAVEFORMATEX f{};
    EXPECT_EQ(ORVKTReadWAVFormat(video.c_str(), &f, sizeof f), 38u);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"empty.wma", "video.wma"}));
}
