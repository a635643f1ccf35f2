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

TEST(PolyphaseResampler, StopBandIsAtLeast70dBDown) {
    for (auto [in, out] : kRatios) {
        SCOPED_TRACE(std::to_string(in) + "->" + std::to_string(out));
        const double lower = std::min(in, out);
        if (out < in) {
            // Input above 0.55 of the output rate must not alias into the output.
            for (double f : {0.56, 0.7, 0.9}) {
                const double freq = f * lower / in;
                if (freq >= 0.5) continue;
                PolyphaseResampler r(in, out);
                auto x = sine(freq, 40 * in);
                std::vector<float> y;
                r.process(x.data(), x.size(), y);
                double power = 0;
                const size_t skip = 4 * out + static_cast<size_t>(r.delay());
                for (size_t i = skip; i < y.size(); ++i) power += double(y[i]) * y[i];
                const double rms = std::sqrt(power / (y.size() - skip));
                EXPECT_LT(20 * std::log10(rms / std::sqrt(0.5)), -70.0) << "at " << f;
            }
        } else {
            // Images of a pass-band tone: everything but the tone itself.
            PolyphaseResampler r(in, out);
            const double freq = 0.3 * lower / in;
            auto x = sine(freq, 40 * in);
            std::vector<float> y;
            r.process(x.data(), x.size(), y);
            const size_t skip = 4 * out + static_cast<size_t>(r.delay() * out / in);
            const double out_freq = freq * in / out;
            // Remove the fitted tone and look at what is left.
            double ss = 0, cc = 0, xs = 0, xc = 0;
            for (size_t i = skip; i < y.size(); ++i) {
                const double s = std::sin(2 * M_PI * out_freq * i), c = std::cos(2 * M_PI * out_freq * i);
                ss += s * s, cc += c * c, xs += y[i] * s, xc += y[i] * c;
            }
            const double a = xs / ss, b = xc / cc;
            double rest = 0;
            for (size_t i = skip; i < y.size(); ++i) {
                const double e = y[i] - a * std::sin(2 * M_PI * out_freq * i) - b * std::cos(2 * M_PI * out_freq * i);
                rest += e * e;
            }
            const double rms = std::sqrt(rest / (y.size() - skip));
            EXPECT_LT(20 * std::log10(rms / std::sqrt(0.5)), -70.0);
        }
    }
}

TEST(PolyphaseResampler, WholePeriodsGiveExactCountsWhateverTheCut) {
    std::vector<float> x(264 * 20);
    uint32_t seed = 1;
    for (auto& v : x) {
        seed = seed * 1103515245u + 12345u;
        v = static_cast<float>(static_cast<int32_t>(seed >> 8) % 20000);
    }
    for (uint32_t out : {288u, 192u, 264u, 1056u}) {
        PolyphaseResampler whole(264, out), frames(264, out), odd(264, out);
        std::vector<float> a, b, c;
        whole.process(x.data(), x.size(), a);
        for (size_t f = 0; f < 20; ++f) {
            const size_t before = b.size();
            frames.process(x.data() + 264 * f, 264, b);
            EXPECT_EQ(b.size() - before, out) << "frame " << f;
        }
        for (size_t pos = 0; pos < x.size();) {
            const size_t n = std::min<size_t>(37 + pos % 101, x.size() - pos);
            odd.process(x.data() + pos, n, c);
            pos += n;
        }
        ASSERT_EQ(a.size(), 20u * out);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a, c);
        // Back to a fresh state.
        whole.reset();
        std::vector<float> again;
        whole.process(x.data(), x.size(), again);
        EXPECT_EQ(a, again);
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

TEST(PolyphaseResampler, IntegerOutputIsClippedWhereTheFilterOvershoots) {
    std::vector<int16_t> x(264 * 8, 32767);
    std::vector<float> xf(x.begin(), x.end());
    PolyphaseResampler ri(264, 288), rf(264, 288);
    std::vector<int16_t> y;
    std::vector<float> yf;
    ri.process(x.data(), x.size(), y);
    rf.process(xf.data(), xf.size(), yf);
    ASSERT_EQ(y.size(), yf.size());
    size_t over = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        if (yf[i] > 32767.5f) {
            ++over;
            EXPECT_EQ(y[i], 32767);
        } else {
            EXPECT_EQ(y[i], static_cast<int16_t>(std::nearbyint(yf[i])));
        }
    }
    EXPECT_GT(over, 0u);  // the step does ring above full scale
}

TEST(PolyphaseResampler, AlignedOutputHasNoDelayAndTheFlushCompletesIt) {
    // A short pulse of a low tone at input sample 400 lands at output time
    // 400 x L / M: its envelope's centre of mass, within half an output sample.
    struct Case {
        uint32_t in, out;
    } cases[] = {{264, 288}, {264, 1056}, {264, 192}, {44100, 8000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        PolyphaseResampler r(c.in, c.out);
        r.align_to_input();
        const size_t n = 2 * c.in;
        std::vector<float> x(n, 0.0f), y;
        const double low = std::min(c.in, c.out) * 0.05;  // cycles per second, well inside the pass band
        for (int i = -60; i <= 60; ++i)
            x[400 + i] = static_cast<float>(std::cos(M_PI * i / 120) * std::cos(M_PI * i / 120) *
                                            std::cos(2 * M_PI * low * i / c.in));
        r.process(x.data(), x.size(), y);
        EXPECT_LT(y.size(), size_t(n) * c.out / c.in);  // the last outputs wait ...
        std::vector<float> zeros(r.taps_per_phase() + 1, 0.0f);
        r.process(zeros.data(), zeros.size(), y);
        EXPECT_GE(y.size(), size_t(n) * c.out / c.in);  // ... for the flush
        double mass = 0, moment = 0;
        for (size_t m = 0; m < y.size(); ++m) {
            mass += double(y[m]) * y[m];
            moment += double(y[m]) * y[m] * m;
        }
        EXPECT_NEAR(moment / mass, 400.0 * c.out / c.in, 0.5);
    }
}
