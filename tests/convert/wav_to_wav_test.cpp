// ORVKTWAVToWAV beyond the table of conversions: the cue split, the direct
// transcoding, the INFO list, the chain of stages, and WAV sources as users
// have them (data never patched, a cue inside a rate change's unit).
#include <gtest/gtest.h>

#include "conv_files.h"
#include "convert/wav_converter.h"

using namespace conv_test;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

// A cue point splits the conversion in two passes; one inside a rate
// change's unit (44100 to 8000/s converts in units of 441 samples) costs no
// sample: the audio is that of the same file without the cue, and the new
// cue sits where the click at the source's cue comes out.
TEST(WavToWav, ACuePointCostsNoSampleAndLandsOnItsTime) {
    for (const auto& [rate, cue_sample] : {std::pair{12000u, 12000u}, {44100u, 30001u}}) {
        SCOPED_TRACE(rate);
        TempDir tmp;
        std::vector<int16_t> samples(rate * 2, 0);
        samples[cue_sample] = 30000;
        const WAVEFORMATEX want = pcm_format(8000);
        Extras extras;
        write_pcm16_wav(tmp.path("plain.wav"), samples, rate);
        extras.cue = true;
        extras.cue_byte = 2 * cue_sample;
        write_pcm16_wav(tmp.path("cue.wav"), samples, rate, extras);
        ASSERT_EQ(ORVKTWAVToWAV(tmp.path("plain.wav").c_str(), tmp.path("p8.wav").c_str(), &want, nullptr, 0), VKT_OK);
        ASSERT_EQ(ORVKTWAVToWAV(tmp.path("cue.wav").c_str(), tmp.path("c8.wav").c_str(), &want, nullptr, 0), VKT_OK);
        const ParsedWav plain = parse_wav(tmp.path("p8.wav")), cued = parse_wav(tmp.path("c8.wav"));
        EXPECT_TRUE(cued.data == plain.data) << cued.data.size() << " bytes against " << plain.data.size();
        ASSERT_TRUE(cued.has_cue);
        const double exact = cue_sample * 8000.0 / rate;
        EXPECT_NEAR(cued.cue_position, exact, 1.0);
        EXPECT_EQ(cued.cue_block_start, 2 * cued.cue_position);
        // The rate change's filters delay the click by about half a millisecond.
        const auto out = cued.samples();
        EXPECT_NEAR(static_cast<double>(std::max_element(out.begin(), out.end()) - out.begin()), exact, 8.0);
    }
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

// A recording that was never finished: its data chunk claims 20 s, the
// file holds 12.2 s. Every conversion and the length query take what is
// there; the last step is no longer dropped.
TEST(WavToWav, DataClaimingMoreThanTheFileHoldsIsConvertedAsFarAsItGoes) {
    TempDir tmp;
    const std::string src = tmp.path("unfinished.wav");
    Bytes file = wav_bytes(pcm_format(16000), samples_to_bytes(sine(300, 16000, 195200)));
    const uint32_t claim = 20 * 32000;
    std::memcpy(file.data() + 40, &claim, 4);  // the data size behind a 16-byte fmt chunk
    write_bytes(src, file);
    uint32_t ms = 0;
    ASSERT_EQ(ORVKTWAVGetSndDataLength(src.c_str(), &ms), VKT_OK);
    EXPECT_EQ(ms, 12200u);
    const WAVEFORMATEX pcm8k = pcm_format(8000), qp = qp_format();
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), tmp.path("8k.wav").c_str(), &pcm8k, nullptr, 0), VKT_OK);
    EXPECT_NEAR(parse_wav(tmp.path("8k.wav")).data.size() / 16.0, 12200.0, 1.0) << "ms at 8000 samples of 2 bytes";
    ASSERT_EQ(ORVKTWAVToDSS(src.c_str(), tmp.path("q.ds2").c_str(), &qp, 3, nullptr, 0), VKT_OK);
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(tmp.path("q.ds2").c_str(), &info), VKT_OK);
    EXPECT_NEAR(info.dwLengthMs, 12200.0, 16.0) << "within a frame of 16 ms";
}
