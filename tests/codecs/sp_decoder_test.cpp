// Frames we pack, read by libavcodec's dss_sp decoder: a pulse of a known
// position, level and gain comes out where and how large it should, and the
// adaptive codebook repeats it at the coded lag.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/dss_sp_bitstream.h"
#include "sp_quality.h"

using namespace vkt::codecs::dss_sp;

namespace {

// The filter indices whose reflection coefficients lie nearest zero: an
// almost flat synthesis filter, and a positive first coefficient, so that
// the decoder adds no tilt.
FrameParams flat_frame() {
    FrameParams f;
    for (int i = 0; i < kOrder; ++i) {
        int best = 0;
        for (int k = 1; k < (1 << kFilterBits[i]); ++k)
            if (std::abs(kReflectionCodebook[i][k]) < std::abs(kReflectionCodebook[i][best])) best = k;
        f.filter[i] = static_cast<uint8_t>(best);
    }
    return f;
}

// Subframe 0 carries one pulse of level `level` at `pos` and six of the
// smallest levels, alternating in sign, at the far end of the subframe.
FrameParams pulse_frame(int pos, int level, int gain) {
    FrameParams f = flat_frame();
    f.lag = {100, 100, 77, 54};
    SubframeParams& sf = f.sub[0];
    sf.fixed_gain = static_cast<uint8_t>(gain);
    const int small_from = pos < 36 ? 66 : 0;
    std::vector<std::pair<int, int>> pulses = {{pos, level}};
    for (int k = 0; k < 6; ++k) pulses.push_back({small_from + k, k % 2 ? 3 : 4});
    std::sort(pulses.begin(), pulses.end(), [](auto a, auto b) { return a.first > b.first; });
    for (int k = 0; k < kPulses; ++k) {
        sf.position[k] = static_cast<uint8_t>(pulses[k].first);
        sf.level[k] = static_cast<uint8_t>(pulses[k].second);
    }
    return f;
}

std::vector<int16_t> decode(const std::vector<FrameParams>& frames) {
    std::vector<uint8_t> bytes;
    for (const FrameParams& f : frames) {
        uint8_t b[kFrameBytes];
        pack_frame(f, b);
        bytes.insert(bytes.end(), b, b + kFrameBytes);
    }
    return sp_quality::decode_frames(bytes);
}

// Index of the largest magnitude in [from, to).
int peak(const std::vector<int16_t>& y, int from, int to) {
    int at = from;
    for (int i = from; i < to; ++i)
        if (std::abs(y[i]) > std::abs(y[at])) at = i;
    return at;
}

// Output sample of input time t (12 input samples make 11 output samples).
double output_time(double t) { return (t + sp_quality::kDecoderDelay) * 11.0 / 12.0; }

}  // namespace

TEST(SpDecoderReads, APulseAtItsPositionSignAndGain) {
    for (int pos : {20, 40, 60}) {
        SCOPED_TRACE(pos);
        const std::vector<int16_t> plus = decode({pulse_frame(pos, 7, 63), flat_frame()});
        const std::vector<int16_t> minus = decode({pulse_frame(pos, 0, 63), flat_frame()});
        const std::vector<int16_t> quiet = decode({pulse_frame(pos, 7, 50), flat_frame()});
        ASSERT_EQ(plus.size(), 528u);
        const int at = peak(plus, 0, 66);
        EXPECT_NEAR(at, output_time(pos), 1.0);
        EXPECT_GT(plus[at], 0);
        EXPECT_LT(minus[peak(minus, 0, 66)], 0);
        EXPECT_NEAR(peak(minus, 0, 66), at, 1);
        // Gains 5000 and 1572.
        EXPECT_NEAR(static_cast<double>(plus[at]) / quiet[peak(quiet, 0, 66)], 5000.0 / 1572.0, 0.3);
    }
}

TEST(SpDecoderReads, TheAdaptiveCodebookRepeatsAtTheCodedLag) {
    // Subframe 1 copies the excitation `lag` samples back with gain 0.99;
    // with lag 100 the pulse at 40 returns at 140. Lags below 72 repeat the
    // last `lag` samples; lag 60 brings the pulse back once, at 100.
    for (int lag : {60, 80, 100}) {
        SCOPED_TRACE(lag);
        FrameParams f = pulse_frame(40, 7, 63);
        f.lag = {lag, lag, lag_base(lag), lag_base(lag_base(lag))};
        f.sub[1].adaptive_gain = 15;
        ASSERT_TRUE(lags_codable(f.lag));
        const std::vector<int16_t> y = decode({f, flat_frame()});
        const int first = peak(y, 0, 66);
        const int echo = peak(y, 66, 132);
        EXPECT_NEAR(echo - first, lag * 11.0 / 12.0, 1.0);
        EXPECT_GT(y[echo], 0);
    }
}

TEST(SpDecoderReads, ZeroGainsDecodeToSilence) {
    const std::vector<int16_t> y = decode({flat_frame(), flat_frame(), flat_frame()});
    ASSERT_EQ(y.size(), 3u * 264u);
    for (int16_t v : y) ASSERT_EQ(v, 0);
}
