// WAV to WAV and WAV to DSS beyond the table of conversions.
#include <gtest/gtest.h>

#include "conv_files.h"
#include "convert/dss_converter.h"
#include "convert/wav_converter.h"

using namespace conv_test;
using namespace orvkt_test;

// Tag 0x0120 from 4000 to 2400 bytes/s keeps 24 of every 40 bytes; the stages of other changes.
TEST(WavToWav, TranscodingAndStagesBetweenCodecAndPcmFormats) {
    TempDir tmp;
    const std::string src = tmp.path("t120.wav"), dst = tmp.path("out.wav");
    WAVEFORMATEX from{0x0120, 1, 16000, 4000, 40, 0, 2};
    Bytes data(4000 * 2 + 80);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 40);
    write_bytes(src, wav_bytes(from, data, Bytes{0x12, 0x34}));
    WAVEFORMATEX to{0x0120, 1, 16000, 2400, 24, 0, 2};
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &to, nullptr, 0), VKT_OK);
    const ParsedWav out = parse_wav(dst);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.format.nAvgBytesPerSec, 2400u);
    EXPECT_EQ(out.fmt_size, 20u);
    Bytes expected;
    for (size_t b = 0; b + 40 <= data.size(); b += 40) expected.insert(expected.end(), data.begin() + b, data.begin() + b + 24);
    EXPECT_EQ(out.data, expected);
    const std::string pcm12 = tmp.path("p12.wav"), pcm16 = tmp.path("p16.wav"), coded = tmp.path("sp.wav");
    write_pcm16_wav(pcm12, sine(440, 12000, 12000), 12000);
    write_pcm16_wav(pcm16, sine(440, 16000, 16000), 16000);
    const WAVEFORMATEX sp = sp_format(), qp = qp_format(), p8 = pcm_format(8000);
    using vkt::convert::StageKind;
    constexpr StageKind kDecode = StageKind::Decode, kRate = StageKind::Rate, kEncode = StageKind::Encode;
    struct Case {
        std::string src;
        WAVEFORMATEX dst;
        bool for_dss;
        std::vector<StageKind> chain;
    };
    ASSERT_EQ(ORVKTWAVToWAV(pcm12.c_str(), coded.c_str(), &sp, nullptr, 0), VKT_OK);
    const Case cases[] = {{src, to, false, {StageKind::Transcode}},
                          {pcm12, sp, true, {kEncode}},
                          {pcm12, sp, false, {kEncode}},
                          {pcm16, sp, true, {kRate, kEncode}},
                          {pcm16, p8, false, {kRate}},
                          {coded, p8, false, {kDecode, kRate}},
                          {coded, pcm_format(12000), false, {kDecode}},
                          {coded, qp, false, {kDecode, kRate, kEncode}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.src + " -> " + std::to_string(c.dst.wFormatTag) + "/" + std::to_string(c.dst.nSamplesPerSec));
        CWavConvert conv;
        ASSERT_EQ(conv.init(c.src.c_str(), nullptr, &c.dst, nullptr, 0, 0, 100, c.for_dss), VKT_OK);
        EXPECT_EQ(conv.stage_kinds(), c.chain);
    }
}

// Standard play -> quality play: block sizes that do not divide one another need a carry-over.
TEST(WavToWav, DecodeResampleEncodeChainKeepsTheSpeech) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string src = tmp.path("s.wav"), sp = tmp.path("sp.wav"), qp = tmp.path("qp.wav");
    ASSERT_TRUE(write_speech_wav(src, 12000));
    const WAVEFORMATEX spf = sp_format(), qpf = qp_format(), pcm16 = pcm_format(16000);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), sp.c_str(), &spf, nullptr, 0), VKT_OK);
    ASSERT_EQ(ORVKTWAVToWAV(sp.c_str(), qp.c_str(), &qpf, nullptr, 0), VKT_OK);
    const ParsedWav sp_wav = parse_wav(sp), qp_wav = parse_wav(qp);
    ASSERT_TRUE(sp_wav.ok && qp_wav.ok);
    EXPECT_EQ(qp_wav.format.wFormatTag, WAVE_FORMAT_DSS_SP);
    EXPECT_EQ(qp_wav.format.nSamplesPerSec, 16000u);
    // 288 samples a frame at 12000/s become 384 at 16000/s; quality play takes 256.
    const size_t sp_frames = sp_wav.data.size() / 42;
    EXPECT_EQ(qp_wav.data.size() / 57, sp_frames * 384 / 256);
    EXPECT_EQ(qp_wav.data.size() % 57, 0u);
    // Neither codec delays the audio: both decodings share one timeline.
    const std::string a = tmp.path("a.wav"), b = tmp.path("b.wav");
    ASSERT_EQ(ORVKTWAVToWAV(sp.c_str(), a.c_str(), &pcm16, nullptr, 0), VKT_OK);
    ASSERT_EQ(ORVKTWAVToWAV(qp.c_str(), b.c_str(), &pcm16, nullptr, 0), VKT_OK);
    const auto x = parse_wav(a).samples(), y = parse_wav(b).samples();
    ASSERT_GT(x.size(), 16000u);
    ASSERT_GE(y.size(), x.size() - 256);
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < y.size() && i < x.size(); ++i) {
        xy += double(x[i]) * y[i];
        xx += double(x[i]) * x[i];
        yy += double(y[i]) * y[i];
    }
    EXPECT_GT(xy / std::sqrt(xx * yy), 0.9);
}

TEST(WavToDss, CodecDataOfTheWantedModeIsPackedUnchanged) {
    TempDir tmp;
    const std::string wav = tmp.path("blocks.wav"), dss = tmp.path("out.dss");
    Bytes data;
    for (int f = 0; f < 30; ++f)
        for (int i = 0; i < 42; ++i) data.push_back(i == 41 ? 0 : static_cast<uint8_t>(f * 13 + i * 5 + 1));
    write_bytes(wav, wav_bytes(sp_format(), data));
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

// The temporary input goes on failure.
TEST(WavToDss, PackingRefusesOtherRates) {
    TempDir tmp;
    const std::string wav = tmp.path("~tmp.vkt"), dss = tmp.path("out.dss");
    WAVEFORMATEX f = sp_format();
    f.nSamplesPerSec = 22050;
    write_bytes(wav, wav_bytes(f, Bytes(420, 1)));
    EXPECT_EQ(VKTWavToDssInternal(wav.c_str(), dss.c_str(), 3, nullptr, 0), VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
    EXPECT_FALSE(orvkt_test::file_exists(wav));
}

