// Standard play: codes and byte orders by hand; the encoder's blocks through libavcodec's decoder.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/dss_sp_bitstream.h"
#include "codecs/dss_sp_encoder.h"
#include "codecs/dss_sp_frame_encoder.h"
#include "codecs/sp_driver.h"
#include "sp_quality.h"
#include "support/test_support.h"

using namespace vkt::codecs;
using namespace vkt::codecs::dss_sp;

namespace {

std::vector<uint8_t> packed(const FrameParams& p) {
    std::vector<uint8_t> f(kFrameBytes);
    pack_frame(p, f.data());
    return f;
}

std::array<uint8_t, kPulses> positions(std::initializer_list<int> desc) {
    std::array<uint8_t, kPulses> a{};
    int i = 0;
    for (int v : desc) a[i++] = static_cast<uint8_t>(v);
    return a;
}

}  // namespace

TEST(SpBitstream, PositionCodesAreCombinatorial) {
    EXPECT_EQ(combine_positions(positions({6, 5, 4, 3, 2, 1, 0})), 0u);
    EXPECT_EQ(combine_positions(positions({7, 5, 4, 3, 2, 1, 0})), 1u);          // C(7,7)
    EXPECT_EQ(combine_positions(positions({7, 6, 5, 4, 3, 2, 1})), 7u);          // seven ones
    EXPECT_EQ(combine_positions(positions({10, 5, 4, 3, 2, 1, 0})), 120u);       // C(10,7)
    EXPECT_EQ(combine_positions(positions({71, 70, 69, 68, 67, 66, 65})), 1473109703u);
    EXPECT_EQ(combine_positions(positions({8, 6, 4, 3, 2, 1, 0})), 8u + 1u);    // C(8,7) + C(6,6)
    std::array<uint8_t, kPulses> got{};
    ASSERT_TRUE(split_positions(9, &got));
    EXPECT_EQ(got, positions({8, 6, 4, 3, 2, 1, 0}));
    ASSERT_TRUE(split_positions(kPositionCodes - 1, &got));
    EXPECT_EQ(got, positions({71, 70, 69, 68, 67, 66, 65}));
    // Codes from C(72,7) on switch the decoder into another, stateful reading.
    EXPECT_FALSE(split_positions(kPositionCodes, &got));
    EXPECT_FALSE(split_positions(0x7FFFFFFFu, &got));
}

TEST(SpBitstream, PitchLagsAreCodedRelativeToTheLastOne) {
    // The next lag's window starts 23 below the last one, never below 36, fixed above 162.
    EXPECT_EQ(combine_lags({36, 36, 36, 36}), 0u);
    EXPECT_EQ(combine_lags({100, 77, 54, 36}), 64u);  // every offset 0
    EXPECT_EQ(combine_lags({100, 78, 55, 36}), 64u + 151u);
    EXPECT_EQ(combine_lags({100, 77, 55, 36}), 64u + 151u * 48u);  // base of 55 is still 36
    EXPECT_EQ(combine_lags({186, 186, 186, 186}), 16699391u);      // the largest value
    EXPECT_TRUE(lags_codable({186, 186, 186, 186}));
    EXPECT_FALSE(lags_codable({35, 36, 36, 36}));
    EXPECT_FALSE(lags_codable({187, 139, 139, 139}));
    EXPECT_FALSE(lags_codable({100, 76, 54, 36}));   // below the window
    EXPECT_FALSE(lags_codable({100, 125, 54, 36}));  // above it (77 + 47 = 124)
    std::array<int, kSubframes> lag{};
    ASSERT_TRUE(split_lags(64u + 151u * 48u, &lag));
    EXPECT_EQ(lag, (std::array<int, kSubframes>{100, 77, 55, 36}));
    ASSERT_TRUE(split_lags(16699391u, &lag));
    EXPECT_EQ(lag, (std::array<int, kSubframes>{186, 186, 186, 186}));
    // Larger values would take the decoder past its 186-sample history.
    EXPECT_FALSE(split_lags(16699392u, &lag));
    EXPECT_FALSE(split_lags(0xFFFFFFu, &lag));
}

TEST(SpBitstream, FramesReadBackAsWritten) {
    std::mt19937 rng(11);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int trial = 0; trial < 500; ++trial) {
        FrameParams p;
        for (int i = 0; i < kOrder; ++i) p.filter[i] = static_cast<uint8_t>(pick(1 << kFilterBits[i]));
        p.lag[0] = kMinLag + pick(151);
        for (int j = 1; j < kSubframes; ++j) p.lag[j] = lag_base(p.lag[j - 1]) + pick(kLagDeltas);
        for (SubframeParams& sf : p.sub) {
            sf.adaptive_gain = static_cast<uint8_t>(pick(32));
            sf.fixed_gain = static_cast<uint8_t>(pick(64));
            ASSERT_TRUE(split_positions(static_cast<uint32_t>(rng() % kPositionCodes), &sf.position));
            for (uint8_t& l : sf.level) l = static_cast<uint8_t>(pick(8));
        }
        const std::vector<uint8_t> f = packed(p);
        FrameParams back;
        ASSERT_TRUE(unpack_frame(f.data(), &back));
        ASSERT_EQ(packed(back), f);
        ASSERT_EQ(back.lag, p.lag);
    }
    // A pulse code of C(72,7) in subframe 2 (from bit 52 + 2 * 63 + 5 = 183) makes the frame unreadable.
    std::vector<uint8_t> f(41, 0);
    const uint32_t bad = kPositionCodes;
    for (int b = 0; b < 31; ++b)
        if ((bad >> (30 - b)) & 1u) f[(183 + b) / 8] |= static_cast<uint8_t>(0x80u >> ((183 + b) % 8));
    FrameParams back;
    EXPECT_FALSE(unpack_frame(f.data(), &back));
}

TEST(SpBitstream, CodecBlockAndDecoderPacket) {
    uint8_t frame[kFrameBytes];
    for (int i = 0; i < kFrameBytes; ++i) frame[i] = static_cast<uint8_t>(0xA0 + i);
    uint8_t block[kBlockBytes], packet[kBlockBytes];
    codec_block(frame, block);
    decoder_packet(frame, packet);
    std::vector<uint8_t> want(frame, frame + kFrameBytes);
    want.push_back(0);
    EXPECT_EQ(std::vector<uint8_t>(block, block + kBlockBytes), want);
    // Pairs swapped: A1 A0 A3 A2 ... then the last pair (C8, 00) as 00 C8.
    for (size_t i = 0; i < kBlockBytes; ++i) EXPECT_EQ(packet[i], want[i ^ 1]) << i;
}

TEST(SpEncodeStream, BlocksDecodeToTheSpeech) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    vkt::acm::ScopedDriver with(std::make_shared<SpDriver>(make_dss_sp_encoder));
    EXPECT_EQ(make_dss_sp_encoder(16000), nullptr) << "12000 and 8000 only";
    const std::pair<const char*, const char*> voices[] = {
        {"en-us", "The patient was admitted on Monday with a mild fever."},
        {"en+f3", "Please call the office to confirm the appointment."},
        {"de", "Die Untersuchung ergab keinen besonderen Befund."},
    };
    for (uint32_t rate : {12000u, 8000u}) {
        for (auto [voice, text] : voices) {
            SCOPED_TRACE(testing::Message() << rate << " " << voice);
            std::vector<int16_t> pcm = orvkt_test::speech_samples(text, static_cast<int>(rate), voice);
            ASSERT_GT(pcm.size(), rate);
            pcm.resize(pcm.size() / 288 * 288);
            auto enc = codec_test::open_stream(pcm_format(rate), sp_format(rate));
            const auto blocks = codec_test::run_stream(enc.get(), codec_test::sample_bytes(pcm), 576, 42, 5);
            ASSERT_EQ(blocks.size(), pcm.size() / 288 * 42);
            std::vector<uint8_t> frames;
            for (size_t b = 0; b < blocks.size(); b += 42) {
                ASSERT_EQ(blocks[b + 41], 0) << "block " << b / 42;
                frames.insert(frames.end(), blocks.begin() + static_cast<long>(b),
                              blocks.begin() + static_cast<long>(b) + 41);
            }
            const auto decoded = sp_quality::decode_frames(frames);
            const auto ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
            const auto q = sp_quality::measure(ref, sp_quality::to_float(decoded), static_cast<int>(rate) * 11 / 12);
            EXPECT_GT(q.frames, 50);
            EXPECT_GE(q.correlation, 0.9);
            EXPECT_LE(q.lsd, 8.0);
        }
    }
}
