// The decoder's integer arithmetic as the encoder tracks it: step-up with
// its clipping, the adaptive vector, pulse amplitudes and the Q13 synthesis
// filter, against values worked out by hand.
#include "codecs/dss_sp_synthesis.h"

#include <gtest/gtest.h>

using namespace vkt::codecs::dss_sp;

TEST(SpSynthesisModel, StepUpFollowsTheDecoder) {
    DirectForm a;
    std::array<int16_t, kOrder> k{};
    // One coefficient: a1 = k1 >> 2 (Q15 to Q13).
    k[0] = 16384;
    EXPECT_TRUE(step_up(k, &a));
    EXPECT_EQ(a[0], 8192);
    EXPECT_EQ(a[1], 4096);
    for (int i = 2; i <= kOrder; ++i) EXPECT_EQ(a[i], 0);
    // k1 = k2 = 0.5: A(z) = 1 + 0.75 z^-1 + 0.5 z^-2.
    k[1] = 16384;
    EXPECT_TRUE(step_up(k, &a));
    EXPECT_EQ(a[1], 6144);
    EXPECT_EQ(a[2], 4096);
    // k1 = -0.5, k2 = 0.25: a1 = -4096 + (8192 * -4096 + 0x4000) >> 15 = -5120.
    k[0] = -16384;
    k[1] = 8192;
    EXPECT_TRUE(step_up(k, &a));
    EXPECT_EQ(a[1], -5120);
    EXPECT_EQ(a[2], 2048);
    // Rounding: k1 = 12 gives a1 = 3; with k2 = 0.5, a1' = 3 + 1.5 + 0.5 = 5.
    k.fill(0);
    k[0] = 12;
    k[1] = 16384;
    EXPECT_TRUE(step_up(k, &a));
    EXPECT_EQ(a[1], 5);
}

TEST(SpSynthesisModel, StepUpReportsClipping) {
    // Every coefficient at the codebook's extreme: the direct form leaves
    // the 16-bit range (|a| >= 4 in Q13).
    std::array<int16_t, kOrder> k;
    k.fill(-32653);
    DirectForm a;
    EXPECT_FALSE(step_up(k, &a));
    for (int i = 1; i <= kOrder; ++i) {
        EXPECT_LE(a[i], 32767);
        EXPECT_GE(a[i], -32768);
    }
    // Small coefficients never clip.
    std::array<uint8_t, kOrder> mild = {25, 9, 9, 5, 8, 5, 7, 7, 3, 3, 4, 4, 4, 4};
    EXPECT_TRUE(step_up(reflection_of(mild), &a));
}

TEST(SpSynthesisModel, PulseAmplitudesRoundLikeTheDecoder) {
    EXPECT_EQ(pulse_amplitude(63, 7), 4758);   // (5000 * 31182 + 16384) >> 15 = 4758.5 floored
    EXPECT_EQ(pulse_amplitude(63, 0), -4758);  // floor(-4757.5)
    EXPECT_EQ(pulse_amplitude(1, 3), -1);      // (4 * -4455 + 16384) >> 15 = floor(-0.04)
    EXPECT_EQ(pulse_amplitude(1, 4), 1);       // (17820 + 16384) >> 15 = 1.04
    EXPECT_EQ(pulse_amplitude(0, 7), 0);
}

TEST(SpSynthesisModel, AdaptiveVectorRepeatsTheHistory) {
    ExcitationHistory h;
    int32_t e[kSubframeLength];
    for (int i = 0; i < kSubframeLength; ++i) e[i] = 100 + i;
    h.push(e);
    EXPECT_EQ(h.at(1), 171);  // the newest sample
    EXPECT_EQ(h.at(72), 100);
    EXPECT_EQ(h.at(73), 0);

    int32_t v[kSubframeLength];
    h.adaptive_vector(36, v);  // the last 36 samples, twice
    EXPECT_EQ(v[0], 136);
    EXPECT_EQ(v[35], 171);
    EXPECT_EQ(v[36], 136);
    EXPECT_EQ(v[71], 171);
    h.adaptive_vector(72, v);
    EXPECT_EQ(v[0], 100);
    EXPECT_EQ(v[71], 171);
    h.adaptive_vector(100, v);  // reaches 28 samples before the pushed ones
    EXPECT_EQ(v[27], 0);
    EXPECT_EQ(v[28], 100);

    // Gain 2034/2048 floors: 2034 * 136 >> 11 = 135.07 -> 135.
    h.scaled_adaptive_vector(36, 15, v);
    EXPECT_EQ(v[0], 135);
    // A second push moves the first one back by 72.
    for (int i = 0; i < kSubframeLength; ++i) e[i] = -(i + 1);
    h.push(e);
    EXPECT_EQ(h.at(1), -72);
    EXPECT_EQ(h.at(73), 171);
    EXPECT_EQ(h.at(144), 100);
    // Negative values floor away from zero: 102 * -1 >> 11 = -1 and
    // 102 * -72 >> 11 = -3.6 -> -4.
    h.scaled_adaptive_vector(72, 0, v);
    EXPECT_EQ(v[0], -1);
    EXPECT_EQ(v[71], -4);
    // Saturation after the gain: 4096 * 20000 >> 11 = 40000 -> 32767.
    for (int i = 0; i < kSubframeLength; ++i) e[i] = 20000;
    h.push(e);
    h.scaled_adaptive_vector(72, 31, v);
    EXPECT_EQ(v[0], 32767);

    // Pulses add to the scaled vector, unclipped.
    SubframeParams sf;
    sf.adaptive_gain = 31;
    sf.fixed_gain = 63;
    sf.position = {71, 60, 50, 40, 30, 20, 10};
    sf.level = {7, 0, 4, 4, 4, 4, 4};
    h.excitation(72, sf, e);
    EXPECT_EQ(e[71], 32767 + 4758);
    EXPECT_EQ(e[60], 32767 - 4758);
    EXPECT_EQ(e[0], 32767);
}

TEST(SpSynthesisModel, SynthesisFilterInQ13) {
    // 1 / (1 - 0.5 z^-1) on 1000, 0, 0, ...: each output is
    // (4096 * previous + 4096) >> 13, half the previous one plus a half, floored.
    DirectForm a{};
    a[0] = 8192;
    a[1] = -4096;
    SynthesisFilter f;
    int32_t x[6] = {1000, 0, 0, 0, 0, 0}, y[6];
    f.run(a, x, y, 6);
    EXPECT_EQ(y[0], 1000);
    EXPECT_EQ(y[1], 500);  // 500.5 -> 500
    EXPECT_EQ(y[2], 250);  // 250.5 -> 250
    EXPECT_EQ(y[3], 125);
    EXPECT_EQ(y[4], 63);  // 63.0
    EXPECT_EQ(y[5], 32);  // 32.0
    EXPECT_EQ(f.memory(1), 32);
    EXPECT_EQ(f.memory(2), 63);
    // The memory keeps values beyond 16 bits: 8192 * 40000 -> 40000.
    int32_t big[1] = {40000};
    f.reset();
    f.run(a, big, y, 1);
    EXPECT_EQ(y[0], 40000);
    EXPECT_EQ(f.memory(1), 40000);
}
