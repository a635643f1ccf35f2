// The SP encoder. Through the codec manager its blocks decode, in libavcodec's
// dss_sp decoder, to espeak-ng speech in several voices at both clocks;
// silence stays silent, a full-scale tone passes without saturating, every
// frame unpacks with codable lags and a filter that never clips, and the
// state carries from frame to frame until a reset.
#include "codecs/dss_sp_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"
#include "codecs/dss_sp_frame_encoder.h"
#include "codecs/dss_sp_synthesis.h"
#include "codecs/sp_driver.h"
#include "sp_quality.h"
#include "support/test_support.h"

using namespace vkt::codecs;
using namespace vkt::codecs::dss_sp;

namespace {

struct WithEncoder {
    vkt::acm::ScopedDriver driver{std::make_shared<SpDriver>(make_dss_sp_encoder)};
};

// All samples (the last frame padded with zeros) as 41-byte frames.
std::vector<uint8_t> encode(const std::vector<int16_t>& pcm, int rate) {
    DssSpEncoder encoder(rate);
    std::vector<int16_t> padded = pcm;
    padded.resize((padded.size() + kFrameLength - 1) / kFrameLength * kFrameLength);
    std::vector<uint8_t> frames(padded.size() / kFrameLength * kFrameBytes);
    for (size_t f = 0; f < padded.size() / kFrameLength; ++f)
        encoder.encode(padded.data() + f * kFrameLength, frames.data() + f * kFrameBytes);
    return frames;
}

}  // namespace

TEST(SpEncodeStream, OpensAtBothClocksOnly) {
    WithEncoder with;
    for (uint32_t rate : {12000u, 8000u}) {
        SCOPED_TRACE(rate);
        MMRESULT r = 1;
        auto stream = codec_test::open_stream(pcm_format(rate), sp_format(rate), &r);
        ASSERT_EQ(r, 0u);
        uint32_t size = 0;
        ASSERT_EQ(acmStreamSize(stream.get(), 576, &size, ACM_STREAMSIZEF_SOURCE), 0u);
        EXPECT_EQ(size, 42u);
        ASSERT_EQ(acmStreamSize(stream.get(), 42, &size, ACM_STREAMSIZEF_DESTINATION), 0u);
        EXPECT_EQ(size, 576u);
    }
    EXPECT_EQ(make_dss_sp_encoder(16000), nullptr);
    EXPECT_EQ(make_dss_sp_encoder(11025), nullptr);
}

TEST(SpEncodeStream, BlocksDecodeToTheSpeech) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    WithEncoder with;
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
            // Five frames per call, as a converter hands over its buffers.
            const auto blocks = codec_test::run_stream(enc.get(), codec_test::to_bytes(pcm), 576, 42, 5);
            ASSERT_EQ(blocks.size(), pcm.size() / 288 * 42);
            std::vector<uint8_t> frames;
            for (size_t b = 0; b < blocks.size(); b += 42) {
                ASSERT_EQ(blocks[b + 41], 0) << "block " << b / 42;
                frames.insert(frames.end(), blocks.begin() + static_cast<long>(b), blocks.begin() + static_cast<long>(b) + 41);
            }
            // libavcodec's decoder on the frames, against the input at its clock.
            const auto decoded = sp_quality::decode_frames(frames);
            const auto ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
            const auto q = sp_quality::measure(ref, sp_quality::to_float(decoded), static_cast<int>(rate) * 11 / 12);
            EXPECT_GT(q.frames, 50);
            EXPECT_GE(q.correlation, 0.9);
            EXPECT_LE(q.lsd, 8.0);

            // And the whole loop at the caller's rate: the driver's decode
            // direction brings the 264 samples back to 288.
            auto dec = codec_test::open_stream(sp_format(rate), pcm_format(rate));
            const auto back = sp_quality::to_float(codec_test::to_samples(codec_test::run_stream(dec.get(), blocks, 42, 576, 3)));
            ASSERT_EQ(back.size(), pcm.size());
            const auto input = sp_quality::to_float(pcm);
            const int lag = sp_quality::best_lag(input, back, 40);
            std::vector<float> aligned(input.size(), 0.0f);
            for (long i = std::max(0, -lag); i < static_cast<long>(aligned.size()) && i + lag < static_cast<long>(back.size()); ++i)
                aligned[i] = back[i + lag];
            const auto loop = sp_quality::measure(input, aligned, static_cast<int>(rate));
            EXPECT_GE(loop.correlation, 0.9);
            EXPECT_LE(loop.lsd, 8.0);
        }
    }
}

TEST(SpEncoder, SilenceStaysSilent) {
    for (int16_t v : sp_quality::decode_frames(encode(std::vector<int16_t>(12000, 0), 12000))) ASSERT_EQ(v, 0);
    // Speech, then a second of silence: within 0.1 s the output is silent.
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    std::vector<int16_t> pcm = orvkt_test::speech_samples("The patient was admitted on Monday with a mild fever.", 12000, "en-us");
    ASSERT_FALSE(pcm.empty());
    const size_t speech = pcm.size();
    pcm.resize(speech + 12000, 0);
    const std::vector<int16_t> decoded = sp_quality::decode_frames(encode(pcm, 12000));
    for (size_t i = (speech + 1200) * 11 / 12; i < decoded.size(); ++i) ASSERT_EQ(decoded[i], 0) << i;
}

TEST(SpEncoder, FullScaleToneDoesNotSaturate) {
    for (double freq : {150.0, 1000.0, 3000.0}) {
        SCOPED_TRACE(freq);
        std::vector<int16_t> tone(24000);
        for (size_t i = 0; i < tone.size(); ++i)
            tone[i] = static_cast<int16_t>(std::lround(32767 * std::sin(2 * M_PI * freq * static_cast<double>(i) / 12000)));
        const std::vector<int16_t> decoded = sp_quality::decode_frames(encode(tone, 12000));
        const std::vector<float> ref = sp_quality::resample(sp_quality::to_float(tone), 12, 11, sp_quality::kDecoderDelay);
        // After the first 0.1 s: no sample at the rails, the waveform kept,
        // and the level no more than 4.5 dB down. (The decoder's gain control
        // holds the mean magnitude of a subframe below 14564, 3.1 dB under a
        // full-scale sine, whatever the encoder sends.)
        const size_t from = 1100, to = std::min(decoded.size(), ref.size());
        double e_ref = 0, e_dec = 0;
        for (size_t i = from; i < to; ++i) {
            ASSERT_LT(std::abs(decoded[i]), 32767) << i;
            e_ref += static_cast<double>(ref[i]) * ref[i];
            e_dec += static_cast<double>(decoded[i]) * decoded[i];
        }
        const double level = 10 * std::log10(e_dec / e_ref);
        EXPECT_LT(level, 0.0);
        EXPECT_GT(level, -4.5);
        const std::vector<float> r(ref.begin() + from, ref.begin() + to);
        const std::vector<float> d(decoded.begin() + from, decoded.begin() + to);
        EXPECT_GE(sp_quality::measure(r, d, 11000).correlation, 0.9);
    }
}

TEST(SpEncoder, FramesAreAlwaysDecodable) {
    std::vector<int16_t> x;
    std::mt19937 rng(3);
    for (int i = 0; i < 6000; ++i) x.push_back(static_cast<int16_t>(static_cast<int>(rng() % 65536) - 32768));
    for (int i = 0; i < 6000; ++i) x.push_back((i / 40) % 2 ? 32767 : -32768);  // square wave
    for (int i = 0; i < 6000; ++i)  // a sweep from 50 Hz to 5.9 kHz at full scale
        x.push_back(static_cast<int16_t>(32767 * std::sin(2 * M_PI * (50.0 * i + 0.49 * i * i) / 12000)));
    for (int i = 0; i < 6000; ++i) x.push_back(i % 500 == 0 ? 32767 : 0);        // clicks
    for (int i = 0; i < 6000; ++i) x.push_back(static_cast<int16_t>(i % 3 - 1));  // a faint hum
    for (int i = 0; i < 6000; ++i) x.push_back(i % 2 ? 32767 : -32768);           // the highest frequency
    x.resize(x.size() / kFrameLength * kFrameLength);
    for (int rate : {12000, 8000}) {
        DssSpEncoder encoder(rate);
        for (size_t f = 0; f < x.size() / kFrameLength; ++f) {
            uint8_t frame[kFrameBytes];
            encoder.encode(x.data() + f * kFrameLength, frame);
            FrameParams p;
            ASSERT_TRUE(unpack_frame(frame, &p)) << f;
            ASSERT_TRUE(lags_codable(p.lag)) << f;
            DirectForm a;
            ASSERT_TRUE(step_up(reflection_of(p.filter), &a)) << "frame " << f << " needs clipping";
            // What was written is what the encoder meant.
            ASSERT_EQ(p.filter, encoder.last_params().filter);
            ASSERT_EQ(p.lag, encoder.last_params().lag);
        }
    }
}

TEST(SpEncoder, StateCarriesOverAndResetClearsIt) {
    std::vector<int16_t> x(4 * kFrameLength);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<int16_t>(8000 * std::sin(0.05 * static_cast<double>(i)) * std::sin(0.0031 * static_cast<double>(i)));
    DssSpEncoder a;
    auto run = [&] {
        std::vector<uint8_t> out(4 * kFrameBytes);
        for (int f = 0; f < 4; ++f) a.encode(x.data() + f * kFrameLength, out.data() + f * kFrameBytes);
        return out;
    };
    const std::vector<uint8_t> first = run();
    // The same frames again continue the stream and come out different, but
    // after a reset they are the first ones again.
    EXPECT_NE(run(), first);
    a.reset();
    EXPECT_EQ(run(), first);
}
