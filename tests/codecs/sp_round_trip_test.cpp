// Our encoder through libavcodec's dss_sp decoder: espeak-ng speech in
// several voices keeps its waveform and spectrum at both clocks, silence
// stays silent, and a full-scale tone passes without saturating.
#include <gtest/gtest.h>

#include <cmath>

#include "codecs/dss_sp_encoder.h"
#include "sp_quality.h"
#include "support/test_support.h"

using namespace vkt::codecs;

namespace {

struct Voice {
    const char* voice;
    const char* text;
};
const Voice kVoices[] = {
    {"en-us", "The patient was admitted on Monday with a mild fever."},
    {"en+f3", "Please call the office to confirm the appointment."},
    {"de", "Die Untersuchung ergab keinen besonderen Befund."},
};

// Encodes all samples (the last frame padded with zeros) into 41-byte frames.
std::vector<uint8_t> encode(const std::vector<int16_t>& pcm, int rate) {
    DssSpEncoder encoder(rate);
    std::vector<int16_t> padded = pcm;
    padded.resize((padded.size() + dss_sp::kFrameLength - 1) / dss_sp::kFrameLength * dss_sp::kFrameLength);
    std::vector<uint8_t> frames(padded.size() / dss_sp::kFrameLength * dss_sp::kFrameBytes);
    for (size_t f = 0; f < padded.size() / dss_sp::kFrameLength; ++f)
        encoder.encode(padded.data() + f * dss_sp::kFrameLength, frames.data() + f * dss_sp::kFrameBytes);
    return frames;
}

// The decoded speech against the input brought to the decoder's clock.
sp_quality::Quality round_trip(const std::vector<int16_t>& pcm, int rate) {
    const std::vector<int16_t> decoded = sp_quality::decode_frames(encode(pcm, rate));
    EXPECT_EQ(decoded.size(), (pcm.size() + 287) / 288 * 264);
    const std::vector<float> ref = sp_quality::resample(sp_quality::to_float(pcm), 12, 11, sp_quality::kDecoderDelay);
    return sp_quality::measure(ref, sp_quality::to_float(decoded), rate * 11 / 12);
}

void expect_speech_survives(int rate) {
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    for (const Voice& v : kVoices) {
        SCOPED_TRACE(v.voice);
        const std::vector<int16_t> pcm = orvkt_test::speech_samples(v.text, rate, v.voice);
        ASSERT_GT(pcm.size(), static_cast<size_t>(rate));
        const sp_quality::Quality q = round_trip(pcm, rate);
        ASSERT_GT(q.frames, 50);
        EXPECT_GE(q.correlation, 0.9);
        EXPECT_LE(q.lsd, 9.0);
    }
}

}  // namespace

TEST(SpRoundTrip, SpeechAtTwelveKilohertz) { expect_speech_survives(12000); }

// Compression id 4: the same bitstream at the 8000 Hz clock.
TEST(SpRoundTrip, SpeechAtTheLongPlayClock) { expect_speech_survives(8000); }

TEST(SpRoundTrip, SilenceStaysSilent) {
    const std::vector<int16_t> zeros(12000, 0);
    for (int16_t v : sp_quality::decode_frames(encode(zeros, 12000))) ASSERT_EQ(v, 0);

    // Speech, then a second of silence: within 0.1 s the output is silent.
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    ORVKT_REQUIRE_PROGRAM("sox");
    std::vector<int16_t> pcm = orvkt_test::speech_samples(kVoices[0].text, 12000, kVoices[0].voice);
    ASSERT_FALSE(pcm.empty());
    const size_t speech = pcm.size();
    pcm.resize(speech + 12000, 0);
    const std::vector<int16_t> decoded = sp_quality::decode_frames(encode(pcm, 12000));
    for (size_t i = (speech + 1200) * 11 / 12; i < decoded.size(); ++i) ASSERT_EQ(decoded[i], 0) << i;
}

TEST(SpRoundTrip, FullScaleToneDoesNotSaturate) {
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
