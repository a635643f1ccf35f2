// Properties of the encoder's output that the decoder relies on, for any
// input: frames unpack, lags are codable, the filter's integer step-up never
// clips; and the state carries from frame to frame and is cleared by reset.
#include "codecs/dss_sp_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "codecs/dss_sp_synthesis.h"

using namespace vkt::codecs;
using namespace vkt::codecs::dss_sp;

namespace {

std::vector<int16_t> hard_inputs() {
    std::vector<int16_t> x;
    std::mt19937 rng(3);
    for (int i = 0; i < 6000; ++i) x.push_back(static_cast<int16_t>(static_cast<int>(rng() % 65536) - 32768));
    for (int i = 0; i < 6000; ++i) x.push_back((i / 40) % 2 ? 32767 : -32768);  // square wave
    for (int i = 0; i < 6000; ++i)  // a sweep from 50 Hz to 5.9 kHz at full scale
        x.push_back(static_cast<int16_t>(32767 * std::sin(2 * M_PI * (50.0 * i + 0.49 * i * i) / 12000)));
    for (int i = 0; i < 6000; ++i) x.push_back(i % 500 == 0 ? 32767 : 0);  // clicks
    for (int i = 0; i < 6000; ++i) x.push_back(static_cast<int16_t>(i % 3 - 1));  // a faint hum
    for (int i = 0; i < 6000; ++i) x.push_back(i % 2 ? 32767 : -32768);  // the highest frequency
    x.resize(x.size() / kFrameLength * kFrameLength);
    return x;
}

}  // namespace

TEST(SpEncoder, FramesAreAlwaysDecodable) {
    for (int rate : {12000, 8000}) {
        DssSpEncoder encoder(rate);
        const std::vector<int16_t> x = hard_inputs();
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
    auto run = [&](DssSpEncoder& e) {
        std::vector<uint8_t> out(4 * kFrameBytes);
        for (int f = 0; f < 4; ++f) e.encode(x.data() + f * kFrameLength, out.data() + f * kFrameBytes);
        return out;
    };
    DssSpEncoder a, b;
    const std::vector<uint8_t> first = run(a);
    // The same frames again continue the stream and come out different...
    EXPECT_NE(run(a), first);
    // ...but after a reset they are the first ones again.
    a.reset();
    EXPECT_EQ(run(a), first);
    EXPECT_EQ(run(b), first);
}
