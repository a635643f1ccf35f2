// ORVKTWAVToWAV: changes of rate, width and channels, the cue split, the
// direct transcoding, and what is left behind on failures.
#include <gtest/gtest.h>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "convert/wav_converter.h"
#include "support/test_support.h"
#include "convert/format_queries.h"

using namespace conv_test;
using orvkt_test::read_bytes;
using orvkt_test::run_command;
using orvkt_test::shell_quote;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

std::vector<int16_t> as_signed(const ParsedWav& w) {
    if (w.format.wBitsPerSample == 16) return w.samples();
    std::vector<int16_t> s(w.data.size());
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((w.data[i] - 128) * 256);
    return s;
}

struct RateCase {
    uint32_t src_rate;
    uint16_t src_bits;
    uint32_t dst_rate;
    uint16_t dst_bits;
};

class PcmChange : public ::testing::TestWithParam<RateCase> {};

}  // namespace

// A one-second 1 kHz tone keeps its pitch, level and length through every
// change of rate and width; the fmt and fact chunks describe the result.
TEST_P(PcmChange, KeepsPitchLevelAndLength) {
    const RateCase c = GetParam();
    TempDir tmp;
    const std::string src = tmp.path("src.wav"), dst = tmp.path("dst.wav");
    const auto tone = sine(1000, c.src_rate, c.src_rate);
    Bytes data;
    if (c.src_bits == 16) {
        data = samples_to_bytes(tone);
    } else {
        for (int16_t s : tone) data.push_back(static_cast<uint8_t>((s >> 8) + 128));
    }
    write_bytes(src, wav_bytes(pcm_format(c.src_rate, c.src_bits), data));

    const WAVEFORMATEX want = pcm_format(c.dst_rate, c.dst_bits);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &want, nullptr, 0), VKT_OK);
    const ParsedWav out = parse_wav(dst);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.format.wFormatTag, 1);
    EXPECT_EQ(out.format.nChannels, 1);
    EXPECT_EQ(out.format.nSamplesPerSec, c.dst_rate);
    EXPECT_EQ(out.format.wBitsPerSample, c.dst_bits);
    EXPECT_EQ(out.format.nBlockAlign, c.dst_bits / 8);
    EXPECT_EQ(out.format.nAvgBytesPerSec, c.dst_rate * c.dst_bits / 8);
    const auto samples = as_signed(out);
    EXPECT_EQ(out.fact, samples.size());
    // At most the tail that is no whole conversion unit is dropped.
    EXPECT_LE(samples.size(), c.dst_rate);
    EXPECT_GE(samples.size(), c.dst_rate * 99 / 100);
    EXPECT_NEAR(dominant_frequency(samples, c.dst_rate, samples.size() / 4), 1000, 20);
    // Each filter stage of the rate change may take up to 1 dB in its pass
    // band; a chain has up to three.
    const double db = 20 * std::log10(rms(samples, samples.size() / 4, samples.size() * 3 / 4) / (8000 / std::sqrt(2.0)));
    EXPECT_GE(db, -3.2);
    EXPECT_LE(db, 0.2);
}

INSTANTIATE_TEST_SUITE_P(Rates, PcmChange,
                         ::testing::Values(RateCase{44100, 16, 8000, 16}, RateCase{8000, 16, 22050, 8},
                                           RateCase{12000, 8, 16000, 16}, RateCase{22050, 16, 11025, 16},
                                           RateCase{16000, 16, 12000, 16}, RateCase{11025, 8, 11025, 16}));

TEST(WavToWav, IdenticalFormatIsRefusedAndLeavesNoDestination) {
    TempDir tmp;
    const std::string src = tmp.path("src.wav"), dst = tmp.path("dst.wav");
    write_pcm16_wav(src, sine(500, 12000, 1200), 12000);
    const WAVEFORMATEX same = pcm_format(12000);
    EXPECT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &same, nullptr, 0), VKT_ERR_SAME_WAVFMT);
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"src.wav"});
}

TEST(WavToWav, BadArgumentsAndFormats) {
    TempDir tmp;
    const std::string src = tmp.path("src.wav"), dst = tmp.path("dst.wav");
    write_pcm16_wav(src, sine(500, 12000, 1200), 12000);
    const WAVEFORMATEX want = pcm_format(8000);
    WAVEFORMATEX extra = want;
    extra.cbSize = 2;  // PCM takes no extra bytes
    EXPECT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &extra, nullptr, 0), VKT_ERR_INVALID_WAVFMT);
    WAVEFORMATEX wide_block = want;
    wide_block.nBlockAlign = 4;  // a mono 16-bit frame is 2 bytes
    EXPECT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &wide_block, nullptr, 0), VKT_ERR_INVALID_WAVFMT);
    // Writing over the source would destroy it.
    EXPECT_EQ(ORVKTWAVToWAV(src.c_str(), src.c_str(), &want, nullptr, 0), VKT_ERR_OPEN_FILE);
    // A rate the PCM converter does not take: the stage cannot be opened.
    const WAVEFORMATEX odd = pcm_format(48000);
    EXPECT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &odd, nullptr, 0), VKT_ERR_CODEC);
    // A missing source.
    EXPECT_NE(ORVKTWAVToWAV(tmp.path("none.wav").c_str(), dst.c_str(), &want, nullptr, 0), VKT_OK);
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"src.wav"});
    EXPECT_EQ(read_bytes(src), wav_bytes(pcm_format(12000), samples_to_bytes(sine(500, 12000, 1200))));
}

// 16-bit stereo is mixed to mono first (progress 0 to 40), through a file
// beside the destination that is gone afterwards.
TEST(WavToWav, StereoSourceIsMixedFirst) {
    TempDir tmp;
    const std::string src = tmp.path("stereo.wav"), dst = tmp.path("mono.wav");
    const auto left = sine(1000, 44100, 44100, 6000);
    std::vector<int16_t> frames;
    for (int16_t s : left) {
        frames.push_back(s);
        frames.push_back(s);
    }
    write_bytes(src, wav_bytes(pcm_format(44100, 16, 2), samples_to_bytes(frames)));
    ProgressLog log;
    const WAVEFORMATEX want = pcm_format(8000);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &want, &ProgressLog::callback, log.user()), VKT_OK);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"mono.wav", "stereo.wav"}));
    const ParsedWav out = parse_wav(dst);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.format.nChannels, 1);
    const auto s = out.samples();
    EXPECT_NEAR(s.size(), 8000.0, 80);
    EXPECT_NEAR(dominant_frequency(s, 8000, 2000), 1000, 20);
    const double db = 20 * std::log10(rms(s, 2000, 6000) / (6000 / std::sqrt(2.0)));
    EXPECT_GE(db, -3.2);
    EXPECT_LE(db, 0.2);
    ASSERT_FALSE(log.percents.empty());
    EXPECT_TRUE(log.monotone());
    EXPECT_EQ(log.percents.back(), 100u);
    EXPECT_NE(std::find(log.percents.begin(), log.percents.end(), 40u), log.percents.end());
    for (uint32_t m : log.messages) EXPECT_EQ(m, VKT_PROGRESS_MESSAGE);

    // Mono at the source's own rate and width: the mix alone is the result.
    const WAVEFORMATEX same_rate = pcm_format(44100);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), tmp.path("mix.wav").c_str(), &same_rate, nullptr, 0), VKT_OK);
    const ParsedWav mix = parse_wav(tmp.path("mix.wav"));
    ASSERT_TRUE(mix.ok);
    EXPECT_EQ(mix.format.nChannels, 1);
    const auto m = mix.samples();
    ASSERT_EQ(m.size(), left.size());
    for (size_t i = 0; i < m.size(); i += 97) EXPECT_NEAR(m[i], left[i], 1) << i;
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"mix.wav", "mono.wav", "stereo.wav"}));
}

TEST(WavToWav, EightBitStereoIsNotMixedAndCannotBeConverted) {
    TempDir tmp;
    const std::string src = tmp.path("stereo8.wav"), dst = tmp.path("out.wav");
    write_bytes(src, wav_bytes(pcm_format(8000, 8, 2), Bytes(16000, 128)));
    const WAVEFORMATEX want = pcm_format(8000);
    EXPECT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &want, nullptr, 0), VKT_ERR_CODEC);
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"stereo8.wav"});
}

// A cue point splits the conversion: the first pass ends exactly at the
// cue's byte, and the destination's cue sits where that byte's audio went.
TEST(WavToWav, CuePointSplitsTheConversion) {
    TempDir tmp;
    const std::string src = tmp.path("cue.wav"), dst = tmp.path("out.wav");
    Extras extras;
    extras.cue = true;
    extras.cue_byte = 24000;  // one second at 12000 samples/s
    write_pcm16_wav(src, sine(700, 12000, 36000), 12000, extras);
    const WAVEFORMATEX want = pcm_format(8000);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &want, nullptr, 0), VKT_OK);
    const ParsedWav out = parse_wav(dst);
    ASSERT_TRUE(out.ok);
    ASSERT_TRUE(out.has_cue);
    // 24000 source bytes are 12000 samples, 8000 at the new rate: 16000 bytes.
    EXPECT_EQ(out.cue_block_start, 16000u);
    EXPECT_EQ(out.cue_position, 8000u);
    EXPECT_NEAR(out.data.size(), 48000.0, 40);
    EXPECT_NEAR(dominant_frequency(out.samples(), 8000, 8000), 700, 20);
}

// Tag 0x0120 at 4000 bytes/s to 2400 bytes/s: the first 24 bytes of every
// 40-byte block, no codec involved.
TEST(WavToWav, DirectTranscodingKeepsTheHeadOfEveryBlock) {
    TempDir tmp;
    const std::string src = tmp.path("t120.wav"), dst = tmp.path("out.wav");
    WAVEFORMATEX from{0x0120, 1, 16000, 4000, 40, 0, 2};
    Bytes data(4000 * 2 + 80);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 40);
    write_bytes(src, wav_bytes(from, data, {}, Bytes{0x12, 0x34}));
    WAVEFORMATEX to{0x0120, 1, 16000, 2400, 24, 0, 2};
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &to, nullptr, 0), VKT_OK);
    const ParsedWav out = parse_wav(dst);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.format.nAvgBytesPerSec, 2400u);
    EXPECT_EQ(out.fmt_size, 20u);
    Bytes expected;
    for (size_t b = 0; b + 40 <= data.size(); b += 40) expected.insert(expected.end(), data.begin() + b, data.begin() + b + 24);
    EXPECT_EQ(out.data, expected);
}

TEST(WavToWav, EmptyDataGivesAnEmptyDestinationOfTheWantedFormat) {
    TempDir tmp;
    const std::string src = tmp.path("empty.wav"), dst = tmp.path("out.wav");
    write_pcm16_wav(src, {}, 22050);
    const WAVEFORMATEX want = pcm_format(8000, 8);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &want, nullptr, 0), VKT_OK);
    const ParsedWav out = parse_wav(dst);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(out.data.empty());
    EXPECT_EQ(out.format.nSamplesPerSec, 8000u);
    EXPECT_EQ(out.format.wBitsPerSample, 8);
}

// The LIST/INFO content follows, with the format history moved last.
TEST(WavToWav, ListChunkFollowsWithHistoryLast) {
    TempDir tmp;
    const std::string src = tmp.path("list.wav"), dst = tmp.path("out.wav");
    Bytes info;
    put_id(info, "ISRF");
    put32(info, 4);
    put_id(info, "hist");
    put_id(info, "ICMT");
    put32(info, 6);
    for (char c : std::string("note!\0", 6)) info.push_back(static_cast<uint8_t>(c));
    Extras extras;
    extras.list_info = info;
    write_pcm16_wav(src, sine(500, 16000, 16000), 16000, extras);
    const WAVEFORMATEX want = pcm_format(8000);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &want, nullptr, 0), VKT_OK);
    const ParsedWav out = parse_wav(dst);
    ASSERT_TRUE(out.ok);
    Bytes expected;
    put_id(expected, "ICMT");
    put32(expected, 6);
    for (char c : std::string("note!\0", 6)) expected.push_back(static_cast<uint8_t>(c));
    put_id(expected, "ISRF");
    put32(expected, 4);
    put_id(expected, "hist");
    EXPECT_EQ(out.list, expected);
}

// Which stages a change between codec and PCM formats runs: packing 12000/s
// PCM into standard play encodes only (the codec takes exactly that PCM);
// other rates are changed first; a codec source is decoded first.
TEST(WavToWav, StagesBetweenCodecAndPcmFormats) {
    TempDir tmp;
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
    const std::string t120 = tmp.path("t120.wav");
    const WAVEFORMATEX t120_4000{0x0120, 1, 16000, 4000, 40, 0, 2}, t120_2400{0x0120, 1, 16000, 2400, 24, 0, 2};
    write_bytes(t120, wav_bytes(t120_4000, Bytes(400, 1), {}, Bytes{0, 0}));
    const Case cases[] = {{t120, t120_2400, false, {StageKind::Transcode}},
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

// The carry buffer between two stages hands on whole units only, in the
// order the bytes came, and keeps the rest in front of the next piece.
TEST(WavToWav, CarryBufferHandsOnWholeUnitsInOrder) {
    constexpr uint32_t kUnit = 6, kSize = 20;
    struct Step {
        uint32_t piece, room_before, handed_on;
    };
    const Step steps[] = {{4, 20, 0}, {5, 16, 6}, {9, 17, 12}, {0, 20, 0}, {7, 20, 6}, {5, 19, 6}};
    vkt::convert::CarryBuffer carry;
    carry.reset(kSize);
    carry.allocate("carry");
    uint8_t next_in = 0, next_out = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.piece);
        EXPECT_EQ(carry.room(), step.room_before);
        Bytes piece(step.piece);
        for (uint8_t& b : piece) b = next_in++;
        ASSERT_EQ(carry.take(piece.data(), step.piece, kUnit), step.handed_on);
        for (uint32_t i = 0; i < step.handed_on; ++i) EXPECT_EQ(carry.data()[i], next_out++);
    }
}

// All three stages in one run (standard play 12000/s -> quality play
// 16000/s): the block sizes of decoder, rate change and encoder do not
// divide one another, so a carry-over buffer holds the rest between reads.
// Every quality-play frame is there and the speech survives.
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
    // 288 samples per standard-play frame at 12000/s become 384 at 16000/s;
    // quality play takes 256 a frame.
    const size_t sp_frames = sp_wav.data.size() / 42;
    EXPECT_EQ(qp_wav.data.size() / 57, sp_frames * 384 / 256);
    EXPECT_EQ(qp_wav.data.size() % 57, 0u);

    // Both decoded at 16000/s: the quality-play copy lies on the
    // standard-play one's timeline (neither codec delays the audio).
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
