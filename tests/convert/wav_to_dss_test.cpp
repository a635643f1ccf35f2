// ORVKTWAVToDSS: every DSS mode from PCM sources of several kinds, the
// dictation header, markers and recording times carried, the argument and
// format checks, cancellation; ffmpeg decodes our standard-play files.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "convert/dss_converter.h"
#include "codecs/sp_quality.h"
#include "support/test_support.h"

using namespace conv_test;
using orvkt_test::read_bytes;
using orvkt_test::run_command;
using orvkt_test::shell_quote;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

std::vector<int16_t> ffmpeg_decode(const std::string& dss, const TempDir& tmp) {
    const std::string raw = tmp.path("decoded.raw");
    auto r = run_command("ffmpeg -nostdin -v error -i " + shell_quote(dss) + " -f s16le -acodec pcm_s16le -y " +
                         shell_quote(raw));
    EXPECT_EQ(r.status, 0) << r.output;
    const Bytes b = read_bytes(raw);
    std::vector<int16_t> s(b.size() / 2);
    std::memcpy(s.data(), b.data(), s.size() * 2);
    std::remove(raw.c_str());
    return s;
}

std::string six(const Bytes& header, size_t at) { return std::string(header.begin() + at, header.begin() + at + 6); }

}  // namespace

// Standard play at both clocks, through ORVKTWAVToDSS, decoded by the
// ffmpeg tool: the speech comes back with the encoder's own floors (the
// decoder runs at 11/12 of the input clock and lags about three samples).
TEST(WavToDss, FfmpegDecodesOurStandardPlayToSpeech) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    for (const WAVEFORMATEX& mode : {sp_format(), lp_format()}) {
        const uint32_t rate = mode.nSamplesPerSec;
        SCOPED_TRACE(rate);
        const auto pcm = orvkt_test::speech_samples(kSpeechText, static_cast<int>(rate));
        ASSERT_GT(pcm.size(), rate);
        const std::string wav = tmp.path("speech.wav"), dss = tmp.path("speech.dss");
        write_pcm16_wav(wav, pcm, rate);
        ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 3, nullptr, 0), VKT_OK);
        const DssFacts facts = dss_facts(dss);
        EXPECT_EQ(facts.block_id, rate == 12000 ? 0 : 4);
        EXPECT_EQ(facts.header2_id, rate == 12000 ? 0 : 4);
        EXPECT_EQ(facts.frames, pcm.size() / 288);
        const auto decoded = ffmpeg_decode(dss, tmp);
        ASSERT_GE(decoded.size(), facts.frames * 264u);
        std::vector<int16_t> frames_only(decoded.begin(), decoded.begin() + facts.frames * 264);
        const auto ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
        const auto q = sp_quality::measure(ref, sp_quality::to_float(frames_only), static_cast<int>(rate * 11 / 12));
        EXPECT_GE(q.correlation, 0.9);
        EXPECT_LE(q.lsd, 9.0);
    }
}

// Every mode from sources of other rates, widths and channel counts: the
// file's identifiers, header count and length follow the mode.
TEST(WavToDss, EveryModeFromAnySource) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const auto speech = orvkt_test::speech_samples(kSpeechText, 22050);
    ASSERT_FALSE(speech.empty());
    const double seconds = speech.size() / 22050.0;
    const std::string mono = tmp.path("mono22050.wav"), bytes8 = tmp.path("mono8.wav"), stereo = tmp.path("st.wav");
    write_pcm16_wav(mono, speech, 22050);
    const auto s11 = orvkt_test::speech_samples(kSpeechText, 11025);
    Bytes b8;
    for (int16_t s : s11) b8.push_back(static_cast<uint8_t>((s >> 8) + 128));
    write_bytes(bytes8, wav_bytes(pcm_format(11025, 8), b8));
    const auto s44 = orvkt_test::speech_samples(kSpeechText, 44100);
    std::vector<int16_t> frames;
    for (int16_t s : s44) {
        frames.push_back(s);
        frames.push_back(static_cast<int16_t>(s / 2));
    }
    write_bytes(stereo, wav_bytes(pcm_format(44100, 16, 2), samples_to_bytes(frames)));

    struct Case {
        WAVEFORMATEX mode;
        const char* name;
        uint8_t id;
        double frame_seconds;
    };
    const WAVEFORMATEX g723{WAVE_FORMAT_DSS_LP, 1, 8000, 834, 25, 0, 0};
    const Case cases[] = {{sp_format(), "sp.dss", 0, 0.024}, {lp_format(), "lp.dss", 4, 0.036},
                          {qp_format(), "qp.ds2", 6, 0.016}, {sp_format(), "sp.ds2", 0, 0.024},
                          {g723, "g723.dss", 2, 0.030}};
    int16_t headers = 1;
    for (const Case& c : cases) {
        for (const std::string& src : {mono, bytes8, stereo}) {
            SCOPED_TRACE(std::string(c.name) + " from " + src);
            const std::string dss = tmp.path(c.name);
            ProgressLog log;
            ASSERT_EQ(ORVKTWAVToDSS(src.c_str(), dss.c_str(), &c.mode, headers, &ProgressLog::callback, log.user()),
                      VKT_OK);
            const DssFacts facts = dss_facts(dss);
            EXPECT_EQ(facts.headers, static_cast<uint32_t>(headers));
            EXPECT_EQ(facts.block_id, c.id);
            if (headers >= 2) {
                EXPECT_EQ(facts.header2_id, c.id);
            }
            EXPECT_EQ(six(facts.header1, 1).substr(0, 3), std::string(c.name).find(".ds2") != std::string::npos ? "ds2" : "dss");
            // At most the last, partial frame is dropped.
            EXPECT_NEAR(facts.frames * c.frame_seconds, seconds, c.frame_seconds + 0.005);
            EXPECT_TRUE(log.monotone());
            ASSERT_FALSE(log.percents.empty());
            EXPECT_EQ(log.percents.back(), 100u);
            for (uint32_t p : log.percents) EXPECT_LE(p, 100u);
            EXPECT_TRUE(std::any_of(log.percents.begin(), log.percents.end(), [](uint32_t p) { return p > 50; }));
            EXPECT_TRUE(std::any_of(log.percents.begin(), log.percents.end(), [](uint32_t p) { return p < 50; }));
            headers = static_cast<int16_t>(headers % 3 + 1);
        }
    }
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"g723.dss", "lp.dss", "mono22050.wav", "mono8.wav", "qp.ds2", "sp.ds2",
                                                        "sp.dss", "st.wav"}));
}

// Quality play round trip through our own codec (no delay): speech in,
// speech out, sample for sample on the same timeline.
TEST(WavToDss, QualityPlayRoundTripKeepsTheSpeech) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const auto pcm = orvkt_test::speech_samples(kSpeechText, 16000);
    ASSERT_FALSE(pcm.empty());
    const std::string wav = tmp.path("in.wav"), ds2 = tmp.path("qp.ds2"), back = tmp.path("back.wav");
    write_pcm16_wav(wav, pcm, 16000);
    const WAVEFORMATEX mode = qp_format();
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), ds2.c_str(), &mode, 3, nullptr, 0), VKT_OK);
    const WAVEFORMATEX want = pcm_format(16000);
    ASSERT_EQ(ORVKTDSSToWAV(ds2.c_str(), back.c_str(), &want, nullptr, 0, nullptr), VKT_OK);
    const auto out = parse_wav(back).samples();
    ASSERT_EQ(out.size(), pcm.size() / 256 * 256);
    std::vector<float> ref(pcm.begin(), pcm.end());
    std::vector<float> test(out.begin(), out.end());
    EXPECT_GE(sp_quality::measure(ref, test, 16000).correlation, 0.9);
}

// A WAV that already holds codec blocks of the wanted mode is packed as it
// is: its data chunk becomes the frames, unchanged.
TEST(WavToDss, CodecDataOfTheWantedModeIsPackedUnchanged) {
    TempDir tmp;
    const std::string wav = tmp.path("blocks.wav"), dss = tmp.path("out.dss");
    Bytes data;
    for (int f = 0; f < 30; ++f)
        for (int i = 0; i < 42; ++i) data.push_back(i == 41 ? 0 : static_cast<uint8_t>(f * 13 + i * 5 + 1));
    write_bytes(wav, wav_bytes(sp_format(), data, {}, {}));
    const WAVEFORMATEX mode = sp_format();
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 1, nullptr, 0), VKT_OK);
    const Bytes b = read_bytes(dss);
    ASSERT_EQ(b.size(), 512u * 4);  // 30 x 41 bytes: 1230 bytes of frames in three blocks
    // The first block, swapped back: frame pointer word 0x030F, frames of 41 bytes from offset 6.
    Bytes block(b.begin() + 512, b.begin() + 1024);
    for (size_t i = 0; i < 512; i += 2) std::swap(block[i], block[i + 1]);
    EXPECT_EQ(block[0], 0x03);
    EXPECT_EQ(block[1], 0x0F);
    EXPECT_EQ(block[3], 13);  // frames starting in the block: 506 / 41 -> 13 (the last one parted)
    for (int i = 0; i < 41; ++i) EXPECT_EQ(block[6 + 41 + i], static_cast<uint8_t>(13 + i * 5 + 1));
}

TEST(WavToDss, ArgumentAndFormatChecks) {
    TempDir tmp;
    const std::string wav = tmp.path("in.wav"), dss = tmp.path("out.dss");
    write_pcm16_wav(wav, sine(300, 12000, 12000), 12000);
    const WAVEFORMATEX sp = sp_format();
    WAVEFORMATEX bad = sp;
    bad.cbSize = 2;
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &bad, 3, nullptr, 0), VKT_ERR_INVALID_WAVFMT);
    bad = sp;
    bad.nSamplesPerSec = 22050;  // no DSS mode runs at 22050
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &bad, 3, nullptr, 0), VKT_ERR_INVALID_WAVFMT);
    bad = sp;
    bad.nAvgBytesPerSec = 1751;
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &bad, 3, nullptr, 0), VKT_ERR_INVALID_WAVFMT);
    const WAVEFORMATEX pcm = pcm_format(12000);
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &pcm, 3, nullptr, 0), VKT_ERR_INVALID_WAVFMT);
    // Quality play needs DSS Pro; a destination must be .dss or .ds2.
    const WAVEFORMATEX qp = qp_format();
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &qp, 3, nullptr, 0), VKT_ERR);
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), tmp.path("out.wav").c_str(), &sp, 3, nullptr, 0), VKT_ERR);
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &sp, 0, nullptr, 0), VKT_ERR_INVALID_PARAM);
    EXPECT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &sp, 4, nullptr, 0), VKT_ERR_INVALID_PARAM);
    // Missing source.
    EXPECT_NE(ORVKTWAVToDSS(tmp.path("none.wav").c_str(), dss.c_str(), &sp, 3, nullptr, 0), VKT_OK);
    // A source at a rate the PCM stage cannot take: the codec chain fails.
    const std::string odd = tmp.path("odd.wav");
    write_pcm16_wav(odd, sine(300, 48000, 4800), 48000);
    EXPECT_EQ(ORVKTWAVToDSS(odd.c_str(), dss.c_str(), &sp, 3, nullptr, 0), VKT_ERR_CODEC);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"in.wav", "odd.wav"}));
}

// The packing direction on its own takes only the three block rates; its
// temporary input goes on failure.
TEST(WavToDss, PackingRefusesOtherRates) {
    TempDir tmp;
    const std::string wav = tmp.path("~tmp.vkt"), dss = tmp.path("out.dss");
    WAVEFORMATEX f = sp_format();
    f.nSamplesPerSec = 22050;
    write_bytes(wav, wav_bytes(f, Bytes(420, 1), {}, {}));
    EXPECT_EQ(VKTWavToDssInternal(wav.c_str(), dss.c_str(), 3, nullptr, 0), VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
    EXPECT_FALSE(orvkt_test::file_exists(wav));
}

// A dictation header and markers in the WAV file become the DSS file's;
// recording times the header lacks come from the WAV file's times.
TEST(WavToDss, HeaderMarkersAndRecordingTimesAreCarried) {
    TempDir tmp;
    const std::string wav = tmp.path("memo.wav"), dss = tmp.path("memo.ds2");
    write_pcm16_wav(wav, sine(400, 12000, 24000), 12000);
    // Our own three-block header image in the WAV's ICMT, with a text and
    // a start date, and markers in its IKEY.
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    {
        const std::string carrier = tmp.path("carrier.ds2");
        ASSERT_EQ(ORVKTCreateDSSTemplate(carrier.c_str(), nullptr, 6), VKT_OK);
        ASSERT_EQ(ORVKTReadZRM2Header(carrier.c_str(), &info), VKT_OK);
        std::memcpy(info.achH1Text, "Author Name     ", 16);
        std::memcpy(info.aachText[2], "Typist", 6);
        ASSERT_EQ(ORVKTWriteZRM2Header(carrier.c_str(), &info), VKT_OK);
        ASSERT_EQ(ORVKTCopyDSSHeaders(carrier.c_str(), wav.c_str(), 1, 0), VKT_OK);
        std::remove(carrier.c_str());
    }
    uint8_t markers[256];
    std::memset(markers, 0xFF, sizeof markers);
    const uint32_t ranges[2] = {250, 900};
    std::memcpy(markers, ranges, sizeof ranges);
    ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(wav.c_str(), markers), VKT_OK);
    // A known last-write time: 2023-03-04 05:06:07 local time.
    struct tm when {};
    when.tm_year = 123;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 5;
    when.tm_min = 6;
    when.tm_sec = 7;
    when.tm_isdst = -1;
    const time_t t = mktime(&when);
    struct timeval times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimes(wav.c_str(), times), 0);

    const WAVEFORMATEX mode = qp_format();
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 3, nullptr, 0), VKT_OK);
    ZRM2HeaderInfo back{};
    back.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(dss.c_str(), &back), VKT_OK);
    EXPECT_EQ(std::string(back.achH1Text, 11), "Author Name");
    EXPECT_EQ(std::string(back.aachText[2], 6), "Typist");
    EXPECT_EQ(back.wCompressionId, 6);
    EXPECT_EQ(std::string(back.achRecEndDate, 6), "230304");
    EXPECT_EQ(std::string(back.achRecEndTime, 6), "050607");
    const std::string start = std::string(back.achRecStartDate, 6) + std::string(back.achRecStartTime, 6);
    EXPECT_TRUE(std::all_of(start.begin(), start.end(), [](char c) { return c >= '0' && c <= '9'; })) << start;
    EXPECT_NE(start, "000000000000");
    uint8_t read[256];
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(dss.c_str(), read), VKT_OK);
    EXPECT_EQ(std::memcmp(read, markers, sizeof markers), 0);
    // Self-id and versions are the new file's own.
    const Bytes h = read_bytes(dss);
    EXPECT_EQ(std::string(h.begin() + 1, h.begin() + 4), "ds2");
    EXPECT_EQ(h[0], 3);
}

// A lone 512-byte header whose word at 32 says "more blocks follow" is no
// header of ours: the DSS file keeps its own default header.
TEST(WavToDss, ForeignLookingHeaderIsNotTakenOver) {
    TempDir tmp;
    const std::string wav = tmp.path("in.wav"), dss = tmp.path("out.dss");
    write_pcm16_wav(wav, sine(400, 12000, 12000), 12000);
    Bytes image(512, 0xFF);
    image[0] = 1;
    std::memcpy(image.data() + 1, "dss", 3);
    image[4] = 1, image[5] = 0, image[6] = 1, image[7] = 0;
    image[8] = 3, image[9] = 0, image[10] = 0, image[11] = 0;
    std::memcpy(image.data() + 12, "Not taken over!!", 16);
    image[32] = 0xFE, image[33] = 0xFF;
    image[36] = 0xF7, image[37] = 0xFF;
    std::memcpy(image.data() + 38, "230101120000", 12);
    // An ICMT sub-chunk carrying exactly these 512 bytes.
    Bytes info;
    put_id(info, "ICMT");
    put32(info, 512);
    info.insert(info.end(), image.begin(), image.end());
    Extras extras;
    extras.list_info = info;
    write_pcm16_wav(wav, sine(400, 12000, 12000), 12000, extras);
    const WAVEFORMATEX mode = sp_format();
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &mode, 1, nullptr, 0), VKT_OK);
    const Bytes h = read_bytes(dss);
    EXPECT_EQ(std::string(h.begin() + 12, h.begin() + 28), std::string(16, '\0'));
}

