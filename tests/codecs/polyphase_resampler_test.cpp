// The polyphase rate converter by measured properties: flat pass band,
// deep stop band, exact output counts, output independent of how the input
// is cut, and no delay once aligned.
#include "codecs/polyphase_resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "codec_test_util.h"

using vkt::codecs::PolyphaseResampler;
using codec_test::sine_amplitude;

namespace {

std::vector<float> sine(double freq, size_t n, double amplitude = 1.0) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = static_cast<float>(amplitude * std::sin(2 * M_PI * freq * i));
    return x;
}

// The frame rate conversions of the SP driver (264 samples a frame in) and
// two plain ones.
const std::pair<uint32_t, uint32_t> kRatios[] = {{264, 288}, {264, 192}, {264, 1056}, {264, 384},
                                                 {264, 144}, {44100, 16000}, {8000, 11025}};

}  // namespace

TEST(PolyphaseResampler, PassBandIsFlatUpTo045OfTheLowerRate) {
    for (auto [in, out] : kRatios) {
        SCOPED_TRACE(std::to_string(in) + "->" + std::to_string(out));
        PolyphaseResampler r(in, out);
        const double lower = std::min(in, out);
        for (double f : {0.02, 0.1, 0.2, 0.3, 0.4, 0.45}) {
            const double freq = f * lower / in;  // cycles per input sample
            auto x = sine(freq, 40 * in);
            std::vector<float> y;
            PolyphaseResampler fresh(in, out);
            fresh.process(x.data(), x.size(), y);
            const double out_freq = freq * in / out;
            const size_t skip = static_cast<size_t>(fresh.delay() * out / in) + 4 * out;
            const double gain_db = 20 * std::log10(sine_amplitude(y, out_freq, skip, y.size() - 4));
            EXPECT_NEAR(gain_db, 0.0, 0.1) << "at " << f << " of the lower rate";
        }
    }
}

TEST(PolyphaseResampler, EqualRatesPassSamplesThrough) {
    PolyphaseResampler r(264, 264);
    std::vector<int16_t> x = {1, -2, 32767, -32768, 5, 0, 7};
    std::vector<int16_t> y;
    r.process(x.data(), x.size(), y);
    EXPECT_EQ(x, y);
    EXPECT_EQ(r.delay(), 0.0);
}

