// Rate conversion on real signals: the output equals the step formulas run
// plainly, tones in the pass band keep their level, tones above the new
// Nyquist frequency are gone, a partial unit is padded with its last byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "afc/AFCStream.h"
#include "afc/SRFreeInputAFConverter.h"
#include "afc/SRMultiStageSRConverter.h"
#include "afc/SRPCMConverter.h"
#include "afc/SRSimpleSRConverter.h"

namespace {

std::vector<int16_t> tone(double freq, double rate, size_t n, double amplitude) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * freq * static_cast<double>(i) / rate)));
    return s;
}

std::vector<int16_t> noise(size_t n, uint32_t seed, int amplitude = 32767) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-amplitude - 1, amplitude);
    std::vector<int16_t> s(n);
    for (auto& v : s) v = static_cast<int16_t>(d(gen));
    return s;
}

// Runs samples through an open 16-bit stream in one call.
std::vector<int16_t> stream_convert(uint32_t from, uint32_t to, const std::vector<int16_t>& in) {
    const WAVEFORMATEX s = {1, 1, from, from * 2, 2, 16, 0}, d = {1, 1, to, to * 2, 2, 16, 0};
    AFC_HANDLE h = nullptr;
    EXPECT_EQ(AFC_streamOpen(&h, &s, &d), 0);
    const uint32_t bytes = static_cast<uint32_t>(in.size() * 2);
    uint32_t cap = 0;
    AFC_streamDestLength(&h, bytes, &cap);
    std::vector<int16_t> out(cap / 2 + 1);
    uint32_t taken = 0, written = 0;
    EXPECT_EQ(AFC_streamConvert(&h, reinterpret_cast<const uint8_t*>(in.data()), bytes, &taken,
                                reinterpret_cast<uint8_t*>(out.data()), cap, &written),
              0);
    AFC_streamClose(&h);
    out.resize(written / 2);
    return out;
}

// The steps of one stage written out plainly: zero-stuffing, the full
// recursion on every step, every M-th output scaled, clipped and rounded.
std::vector<int16_t> reference_stage(const SRSimpleSRConverter& stage, const std::vector<int16_t>& in) {
    const uint32_t L = stage.UpFactor(), M = stage.DownFactor();
    const std::vector<float>& a = stage.A();
    const std::vector<float>& b = stage.B();
    const int n = stage.FilterOrder();
    std::vector<float> s(static_cast<size_t>(n) + 2, 0.0f);
    std::vector<int16_t> out;
    size_t next = 0;
    for (uint64_t step = 0; step < static_cast<uint64_t>(in.size()) * L; ++step) {
        const float x = (step % L == 0) ? static_cast<float>(in[next++]) : 0.0f;
        const float y = b[1] * x + s[1];
        for (int k = 1; k < n; ++k) {
            const float bx = b[k + 1] * x;
            const float ay = a[k + 1] * y;
            const float diff = bx - ay;
            s[k] = diff + s[k + 1];
        }
        s[n] = b[n + 1] * x - a[n + 1] * y;
        if (step % M == 0) {
            const float v = static_cast<float>(L) * y;
            const double dv = v;
            out.push_back(dv > 32767.0 ? 32767 : dv < -32767.0 ? -32767 : static_cast<int16_t>(std::round(dv)));
        }
    }
    return out;
}

double rms(const std::vector<int16_t>& s, size_t skip) {
    double sum = 0;
    for (size_t i = skip; i < s.size(); ++i) sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / static_cast<double>(s.size() - skip));
}

double level_db(uint32_t from, uint32_t to, double freq) {
    const std::vector<int16_t> in = tone(freq, from, from, 20000.0);  // one second
    const std::vector<int16_t> out = stream_convert(from, to, in);
    // Skip the first 100 ms, where the filters settle.
    return 20 * std::log10(rms(out, to / 10) / rms(in, from / 10));
}

}  // namespace

TEST(Resampling, OutputEqualsThePlainStepFormulas) {
    const std::pair<uint32_t, uint32_t> pairs[] = {{44100, 8000}, {8000, 11025}, {16000, 8000},
                                                   {12000, 8000}, {22050, 16000}, {8000, 44100}};
    for (const auto& [from, to] : pairs) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to);
        SRMultiStageSRConverter plan(SRSamplingRateConverterPars(from, to, 16));
        // Loud noise so that clipping happens too; whole chain units only.
        const size_t unit = plan.InputUnitSamples();
        const std::vector<int16_t> in = noise(unit * std::max<size_t>(1, 8000 / unit + 1), from);
        std::vector<int16_t> expected = in;
        for (const auto& stage : plan.StageConverters())
            expected = reference_stage(dynamic_cast<const SRSimpleSRConverter&>(*stage), expected);
        const std::vector<int16_t> got = stream_convert(from, to, in);
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
    }
}

TEST(Resampling, PassBandToneKeepsItsLevel) {
    // One stage: between the -1 dB of DC and the 0 dB top of the ripple.
    const double single = level_db(16000, 8000, 1000);
    EXPECT_GE(single, -1.05);
    EXPECT_LE(single, 0.05);
    const double up = level_db(8000, 16000, 1000);
    EXPECT_GE(up, -1.05);
    EXPECT_LE(up, 0.05);
    // Chains: each stage contributes its own -1 ... 0 dB.
    const std::pair<uint32_t, uint32_t> chains[] = {{44100, 8000}, {8000, 11025}, {12000, 8000}};
    for (const auto& [from, to] : chains) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to);
        SRMultiStageSRConverter plan(SRSamplingRateConverterPars(from, to, 16));
        const double db = level_db(from, to, 1000);
        EXPECT_GE(db, -1.05 * static_cast<double>(plan.StageConverters().size()));
        EXPECT_LE(db, 0.05);
    }
}

TEST(Resampling, ToneAboveTheNewNyquistFrequencyIsRemoved) {
    // The order-6 filters reach their 60 dB a little above 1.3 times the
    // pass-band edge; in the chain from 44100 Hz the image of a tone near
    // the 5512.5 Hz edge of the 11025 Hz stages keeps 5000 to 5600 Hz at
    // about -45 to -50 dB, so the tones stand clear of that band.
    const std::tuple<uint32_t, uint32_t, double> cases[] = {
        {16000, 8000, 5500}, {16000, 8000, 7000}, {44100, 8000, 6000}, {44100, 8000, 10000}, {44100, 8000, 15000},
    };
    for (const auto& [from, to, freq] : cases) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to << " at " << freq << " Hz");
        EXPECT_LE(level_db(from, to, freq), -55.0);
    }
}

TEST(Resampling, PartialUnitIsPaddedWithItsLastByte) {
    // Kind 1: one stage with units of 640 and 882 bytes.
    const SRSamplingRateConverterPars pars(8000, 11025, 16);
    std::vector<int16_t> samples = noise(320, 21, 8000);
    std::vector<uint8_t> bytes(640);
    std::memcpy(bytes.data(), samples.data(), 640);

    SRSimpleSRConverter shortConverter(pars);
    SRJBuffer in, out;
    in.SetBuffer(bytes.data(), 639);
    shortConverter.Convert(in, out);
    ASSERT_EQ(out.GetSizeBytes(), 882u);

    std::vector<uint8_t> padded = bytes;
    padded[639] = padded[638];  // the last byte repeated, not the last sample
    SRSimpleSRConverter fresh(pars);
    SRJBuffer in2, out2;
    in2.SetBuffer(padded.data(), 640);
    fresh.Convert(in2, out2);
    ASSERT_EQ(out2.GetSizeBytes(), 882u);
    EXPECT_EQ(std::memcmp(out.GetBufferPtr(), out2.GetBufferPtr(), 882), 0);
}

TEST(Resampling, ResetStartsOverAndEqualRatesCopy) {
    SRMultiStageSRConverter c(SRSamplingRateConverterPars(44100, 8000, 16));
    const std::vector<int16_t> in = noise(c.InputUnitSamples() * 4, 3, 10000);
    auto run = [&] {
        std::vector<uint8_t> bytes(in.size() * 2);
        std::memcpy(bytes.data(), in.data(), bytes.size());
        SRJBuffer src, dst;
        src.SetBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()));
        c.Convert(src, dst);
        return std::vector<uint8_t>(dst.GetBufferPtr(), dst.GetBufferPtr() + dst.GetSizeBytes());
    };
    const auto first = run();
    const auto second = run();
    EXPECT_NE(first, second) << "the second call continues the filter histories";
    c.Reset();
    EXPECT_EQ(run(), first);

    SRSimpleSRConverter same(SRSamplingRateConverterPars(16000, 16000, 16));
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
    SRJBuffer src, dst;
    src.SetBuffer(bytes.data(), 5);
    same.Convert(src, dst);
    EXPECT_EQ(std::vector<uint8_t>(dst.GetBufferPtr(), dst.GetBufferPtr() + 5), bytes);
}
