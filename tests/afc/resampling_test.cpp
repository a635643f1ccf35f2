// Rate conversion on real signals: every rate pair gives the bytes of the
// reference table, full-scale noise gives the recorded samples, tones in the
// pass band keep their level, tones above the new Nyquist frequency are
// gone, a partial unit is padded with its last byte, and the classes refuse
// what they cannot convert.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "afc/afc_stream.h"
#include "afc/filter_kernel.h"
#include "afc/format_chain.h"
#include "afc/rate_stages.h"
#include "afc/support.h"

namespace {

std::vector<int16_t> tone(double freq, double rate, size_t n, double amplitude) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * freq * static_cast<double>(i) / rate)));
    return s;
}

// Noise from a fixed generator (the same samples with every standard library).
std::vector<int16_t> noise(size_t n, uint32_t seed, int32_t amplitude = 32768) {
    std::vector<int16_t> s(n);
    for (auto& v : s) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<int16_t>((static_cast<int32_t>(seed >> 16) - 32768) * amplitude / 32768);
    }
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

// Half a second at `rate` in four parts: full-scale noise under a sweep
// (clips), digital silence (the filter states decay towards zero), values of -1, 0 and 1, and a quiet tone. A fixed generator, so
// the bytes are the same with every standard library.
std::vector<int16_t> reference_signal(uint32_t rate) {
    const size_t n = rate / 2;
    std::vector<int16_t> s(n, 0);
    uint32_t lcg = rate;
    auto next = [&] {
        lcg = lcg * 1664525u + 1013904223u;
        return static_cast<int32_t>(lcg >> 16) - 32768;
    };
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0;
        if (i < n * 2 / 5)
            v = 0.6 * next() + 16000.0 * std::sin(2 * M_PI * (100.0 + 8000.0 * t) * t);
        else if (i < n * 3 / 5)
            v = 0;
        else if (i < n * 4 / 5)
            v = static_cast<double>(next() % 2);
        else
            v = 900.0 * std::sin(2 * M_PI * 700.0 * t);
        s[i] = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return s;
}

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

// Converts the reference signal in three calls of uneven, odd sizes, so that
// bytes are held across calls, into one output buffer sized for the largest
// call, as the file converters do; 8-bit sides take the high byte, offset by
// 128.
std::vector<uint8_t> reference_output(uint32_t from, uint32_t to, uint16_t bitsIn, uint16_t bitsOut) {
    const std::vector<int16_t> samples = reference_signal(from);
    std::vector<uint8_t> in;
    for (int16_t v : samples) {
        if (bitsIn == 8) {
            in.push_back(static_cast<uint8_t>((v >> 8) + 128));
        } else {
            in.push_back(static_cast<uint8_t>(v & 0xFF));
            in.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
        }
    }
    const WAVEFORMATEX s = {1, 1, from, from * bitsIn / 8u, static_cast<uint16_t>(bitsIn / 8), bitsIn, 0};
    const WAVEFORMATEX d = {1, 1, to, to * bitsOut / 8u, static_cast<uint16_t>(bitsOut / 8), bitsOut, 0};
    AFC_HANDLE h = nullptr;
    EXPECT_EQ(AFC_streamOpen(&h, &s, &d), 0);
    const size_t cuts[] = {0, in.size() * 3 / 8 | 1, in.size() * 4 / 5 | 1, in.size()};
    uint32_t cap = 0;
    EXPECT_EQ(AFC_streamDestLength(&h, static_cast<uint32_t>(cuts[2] - cuts[1]), &cap), 0);
    std::vector<uint8_t> out, part(cap);
    for (size_t i = 0; i + 1 < std::size(cuts) && h; ++i) {
        const uint32_t bytes = static_cast<uint32_t>(cuts[i + 1] - cuts[i]);
        uint32_t taken = 0, written = 0;
        EXPECT_EQ(AFC_streamConvert(&h, in.data() + cuts[i], bytes, &taken, part.data(), cap, &written), 0);
        out.insert(out.end(), part.begin(), part.begin() + written);
    }
    AFC_streamClose(&h);
    return out;
}

struct Reference {
    uint32_t from, to;
    uint16_t bitsIn, bitsOut;
    size_t bytes;
    uint64_t hash;
};

// Recorded from the converter while it still ran its stages as scalar loops,
// two side by side: any other order of the same steps must give these bytes.
constexpr Reference kReferences[] = {
    {8000, 11025, 16, 16, 10584, 0x1d831eed8f511318ull},    {8000, 12000, 16, 16, 12000, 0x32ce3bdd1a6622a9ull},
    {8000, 16000, 16, 16, 16000, 0xd8b91de378c01048ull},    {8000, 22050, 16, 16, 22050, 0xddb20017ccd4cd4cull},
    {8000, 32000, 16, 16, 32000, 0xa7b4ade0e4841666ull},    {8000, 44100, 16, 16, 42336, 0x5698940e9ddfa494ull},
    {8000, 64000, 16, 16, 64000, 0xffb3bc9d2a5159a4ull},    {8000, 88200, 16, 16, 84672, 0xb4ce7f5cbe902b02ull},
    {8000, 176400, 16, 16, 169344, 0x1209ad015a93eb5ull},   {11025, 8000, 16, 16, 7680, 0xd94f033ecb41e5d9ull},
    {11025, 12000, 16, 16, 11840, 0xf8f808a88d2d42efull},   {11025, 16000, 16, 16, 15360, 0x5f108adf73a595d9ull},
    {11025, 22050, 16, 16, 22048, 0xd41d49af737a2ec4ull},   {11025, 32000, 16, 16, 30720, 0x50d85ace52e4dbc4ull},
    {11025, 44100, 16, 16, 44096, 0xa38d8c2909d387e6ull},   {11025, 64000, 16, 16, 61440, 0xccc36c280c656284ull},
    {11025, 88200, 16, 16, 88192, 0x69946205a6dfce3bull},   {11025, 176400, 16, 16, 176384, 0xba472a3e6999f822ull},
    {12000, 8000, 16, 16, 8000, 0x84a325041b7f2000ull},     {12000, 11025, 16, 16, 10878, 0x571b2d811c7f7c78ull},
    {12000, 16000, 16, 16, 16000, 0xd3d6b2b14095958full},   {12000, 22050, 16, 16, 22050, 0x5ed2ff6bbbcce565ull},
    {12000, 32000, 16, 16, 32000, 0xa3b17aee9ab4dcedull},   {12000, 44100, 16, 16, 44100, 0xfe1b60fd240b1c2full},
    {12000, 64000, 16, 16, 64000, 0xc5baa7e1a0565e9dull},   {12000, 88200, 16, 16, 88200, 0x5752a9e03daddbe3ull},
    {12000, 176400, 16, 16, 176400, 0xa53794fccf936b4aull}, {16000, 8000, 16, 16, 8000, 0x885a13ee0418c096ull},
    {16000, 11025, 16, 16, 10584, 0xe5ddb2ba37e5c970ull},   {16000, 12000, 16, 16, 12000, 0xc3f4df9f48aac6a0ull},
    {16000, 22050, 16, 16, 22050, 0xde900cd3770d56feull},   {16000, 32000, 16, 16, 32000, 0xf7db5624f9844237ull},
    {16000, 44100, 16, 16, 44100, 0xa85b562d26a847ccull},   {16000, 64000, 16, 16, 64000, 0x8f6bd56df74dbb50ull},
    {16000, 88200, 16, 16, 88200, 0xbc747412d8d6c4b7ull},   {16000, 176400, 16, 16, 176400, 0xf4fb61682e5bfe31ull},
    {22050, 8000, 16, 16, 8000, 0x8d8905ea144ebe3ull},      {22050, 11025, 16, 16, 11024, 0x96c5aaad42d888aeull},
    {22050, 12000, 16, 16, 12000, 0x7945b1e8f69ef75full},   {22050, 16000, 16, 16, 16000, 0x91811ef964e4c7b4ull},
    {22050, 32000, 16, 16, 32000, 0x4d7e1afd88f0f1c8ull},   {22050, 44100, 16, 16, 44100, 0x46cec6eac9331a5bull},
    {22050, 64000, 16, 16, 64000, 0x6eee3599d9cb06efull},   {22050, 88200, 16, 16, 88200, 0x2f6f270b78e234c7ull},
    {22050, 176400, 16, 16, 176400, 0xa79e0ac9e3a2b88bull}, {32000, 8000, 16, 16, 8000, 0xd44d62fe74638a86ull},
    {32000, 11025, 16, 16, 10584, 0x81429c9fb7ba6b64ull},   {32000, 12000, 16, 16, 12000, 0x34ab2545c56968c4ull},
    {32000, 16000, 16, 16, 16000, 0xd12294398b131378ull},   {32000, 22050, 16, 16, 22050, 0x2bfb19d4ad2e7a06ull},
    {32000, 44100, 16, 16, 44100, 0x6fed78cb7cd639e7ull},   {32000, 64000, 16, 16, 64000, 0x599461d9ce5cd35bull},
    {32000, 88200, 16, 16, 88200, 0x35f5fc8082ca75a4ull},   {32000, 176400, 16, 16, 176400, 0xf68d1fb01c28cc2eull},
    {44100, 8000, 16, 16, 7680, 0xeb7a58edc21465a4ull},     {44100, 11025, 16, 16, 11024, 0x75c1c6c421394e29ull},
    {44100, 12000, 16, 16, 12000, 0xb6fc12e38404592aull},   {44100, 16000, 16, 16, 16000, 0xccccee7d3fa79d29ull},
    {44100, 22050, 16, 16, 22050, 0xc3612bd717b58574ull},   {44100, 32000, 16, 16, 32000, 0x221583fdd848c824ull},
    {44100, 64000, 16, 16, 64000, 0xde0f63fb46938d5ull},    {44100, 88200, 16, 16, 88200, 0xe8a16ac678a798eaull},
    {44100, 176400, 16, 16, 176400, 0xbed94432f16d4359ull}, {64000, 8000, 16, 16, 8000, 0x41b74aa09b7ed1e0ull},
    {64000, 11025, 16, 16, 10584, 0x34216b92cb0af96dull},   {64000, 12000, 16, 16, 12000, 0x15daeaed1ab0804bull},
    {64000, 16000, 16, 16, 16000, 0x9c3e06aa7875c985ull},   {64000, 22050, 16, 16, 22050, 0x24a697bae833822eull},
    {64000, 32000, 16, 16, 32000, 0x2c2385aa9bf6bdacull},   {64000, 44100, 16, 16, 44100, 0xa293ad1774bba1cdull},
    {64000, 88200, 16, 16, 88200, 0xa5e6d7600a06e6b7ull},   {64000, 176400, 16, 16, 176400, 0xe9f782220b785a6cull},
    {88200, 8000, 16, 16, 7680, 0xc2da8d9dde2f6c95ull},     {88200, 11025, 16, 16, 11024, 0x6ac19d19ec01c0cull},
    {88200, 12000, 16, 16, 12000, 0xff8765f47bd8f1a5ull},   {88200, 16000, 16, 16, 16000, 0x41b312a424db6099ull},
    {88200, 22050, 16, 16, 22050, 0x1678262d0f029ca6ull},   {88200, 32000, 16, 16, 32000, 0x236e90e881e56a86ull},
    {88200, 44100, 16, 16, 44100, 0x9d854ef99b519e56ull},   {88200, 64000, 16, 16, 64000, 0x6d39d57e0d0d7f30ull},
    {88200, 176400, 16, 16, 176400, 0xdf3069e2c7429a59ull}, {176400, 8000, 16, 16, 7680, 0xb971ea868d4ee1dbull},
    {176400, 11025, 16, 16, 11024, 0xe5fd5c51a02db6full},   {176400, 12000, 16, 16, 12000, 0xd787ea61c67a92e8ull},
    {176400, 16000, 16, 16, 16000, 0xe44e08360231427aull},  {176400, 22050, 16, 16, 22050, 0xe1f3ffce94b624f3ull},
    {176400, 32000, 16, 16, 32000, 0xe4ca3de8731f93a1ull},  {176400, 44100, 16, 16, 44100, 0xecd76f8b836d42cdull},
    {176400, 64000, 16, 16, 64000, 0xb4147796a47f0f2eull},  {176400, 88200, 16, 16, 88200, 0x3473ed83077b6f06ull},
    {8000, 11025, 8, 16, 10584, 0xb47c768142afa295ull},     {8000, 11025, 16, 8, 5292, 0xc206a45ba9760b04ull},
    {8000, 11025, 8, 8, 5292, 0x2738b2e351e201e5ull},       {44100, 8000, 8, 16, 7680, 0x8a192b727cd5b64full},
    {44100, 8000, 16, 8, 3840, 0x2deb9a508c7b709dull},      {44100, 8000, 8, 8, 3840, 0x11c457db768bb6bbull},
    {22050, 16000, 8, 16, 16000, 0x7688799bc7c01f53ull},    {22050, 16000, 16, 8, 8000, 0x3a8166cc05b23360ull},
    {22050, 16000, 8, 8, 8000, 0xca77e991fbda5ee4ull},      {12000, 8000, 8, 16, 8000, 0xeb930a863f3fff6bull},
    {12000, 8000, 16, 8, 4000, 0x373eb40f713335deull},      {12000, 8000, 8, 8, 4000, 0xd5eb8b2be02b2839ull},
    {16000, 16000, 8, 16, 16000, 0xc7597454802e6a6cull},    {16000, 16000, 16, 8, 8000, 0xd0b25bf3ca293562ull},
    {16000, 16000, 8, 8, 8000, 0xd0b25bf3ca293562ull},
};

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

// Every set of vector lanes the processor has, then the scalar loops: all
// must give the table's bytes.
TEST(Resampling, EveryRatePairGivesTheBytesOfTheReferenceTable) {
    using afc_kernel::Lanes;
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        EXPECT_EQ(afc_kernel::UseLanes(Lanes::kAvx2), Lanes::kAvx2) << "a processor with AVX2 gets its lanes";
    }
    for (const Lanes wanted : {Lanes::kAvx512, Lanes::kAvx2, Lanes::kScalar}) {
        if (afc_kernel::UseLanes(wanted) != wanted) continue;
        SCOPED_TRACE(testing::Message() << "lanes " << static_cast<int>(wanted));
        for (const Reference& r : kReferences) {
            SCOPED_TRACE(testing::Message() << r.from << "/" << r.bitsIn << " -> " << r.to << "/" << r.bitsOut);
            const std::vector<uint8_t> out = reference_output(r.from, r.to, r.bitsIn, r.bitsOut);
            EXPECT_EQ(out.size(), r.bytes);
            EXPECT_EQ(fnv1a(out), r.hash) << "{" << r.from << ", " << r.to << ", " << r.bitsIn << ", " << r.bitsOut
                                          << ", " << out.size() << ", 0x" << std::hex << fnv1a(out) << "ull},";
        }
    }
    afc_kernel::UseLanes(Lanes::kAvx512);
}

// Full-scale noise (it clips) in one call. Reference outputs recorded from
// the converter as it stood at commit 25e1e40 - the number of samples, the
// hash of their bytes and the samples from index 100 on; the step formulas
// written out plainly (zero-stuffing, the full recursion on every step,
// every M-th output scaled and rounded), run stage after stage on the same
// noise, gave the same samples.
TEST(Resampling, FullScaleNoiseGivesTheRecordedSamples) {
    struct Recorded {
        uint32_t from, to;
        size_t count;
        uint64_t hash;
        int16_t samples[8];
    };
    const Recorded table[] = {
        {44100, 8000, 1600, 0x7bc6b60c4beab637ull, {4355, -12117, -2001, 2081, 1663, 6746, 7526, 118}},
        {8000, 11025, 11907, 0x2f8dc44d458c004dull, {366, 12232, -1175, -990, 18247, 28335, 13695, -4602}},
        {16000, 8000, 4410, 0x44ccc68ba728ea1dull, {-186, 8477, 9374, 27929, -4682, -4851, -16799, -17991}},
        {12000, 8000, 5880, 0x383d690ef0a993bcull, {-793, 17121, -5654, 5363, -20279, -1176, 1028, 2236}},
        {22050, 16000, 6400, 0x74e14508d68022f5ull, {5065, 9048, -9802, 7280, 6439, 16270, 14586, -13752}},
        {8000, 44100, 47628, 0x3e761a3921063eadull, {-893, -1163, -760, 44, 910, 1516, 1623, 1166}},
    };
    for (const Recorded& r : table) {
        SCOPED_TRACE(testing::Message() << r.from << " -> " << r.to);
        const std::vector<int16_t> out = stream_convert(r.from, r.to, noise(8820, r.from));
        ASSERT_GE(out.size(), 108u);
        std::vector<uint8_t> bytes(out.size() * 2);
        std::memcpy(bytes.data(), out.data(), bytes.size());
        testing::Message row;
        row << "{" << r.from << ", " << r.to << ", " << out.size() << ", 0x" << std::hex << fnv1a(bytes) << std::dec
            << "ull, {";
        for (size_t i = 100; i < 108; ++i) row << out[i] << (i < 107 ? ", " : "}},");
        EXPECT_EQ(out.size(), r.count) << row;
        EXPECT_EQ(fnv1a(bytes), r.hash) << row;
        EXPECT_EQ(std::vector<int16_t>(out.begin() + 100, out.begin() + 108),
                  std::vector<int16_t>(std::begin(r.samples), std::end(r.samples)));
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

namespace {

// A stage whose filter request asks for a pass band up to the Nyquist
// frequency, which no low-pass design can give.
class EdgeAtNyquist : public SRSimpleSRConverter {
public:
    using SRSimpleSRConverter::SRSimpleSRConverter;
    void SpecifyFilter() override {
        SRSimpleSRConverter::SpecifyFilter();
        m_spec.passEdge = m_spec.designRate / 2;
    }
};

}  // namespace

// What the stream's format check keeps away from the classes, they refuse
// by themselves, with the error number the stream would return.
TEST(Resampling, TheClassesRefuseWhatTheyCannotConvert) {
    using Pars = SRSamplingRateConverterPars;
    const AudioFormatSide pcm8k = {1, 8000, 16, true};
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"rate 0", [] { SRSimpleSRConverter c(Pars(0, 8000, 16)); }},
        {"negative rate", [] { SRMultiStageSRConverter c(Pars(8000, -1, 16)); }},
        {"12 bits", [] { SRSimpleSRConverter c(Pars(8000, 16000, 12)); }},
        {"8 bits into a filter", [] { SRSimpleSRConverter c(Pars(8000, 16000, 8)); }},
        {"24 bits", [] { SRMultiStageSRConverter c(Pars(8000, 16000, 24)); }},
        {"rate 0 at the handle", [&] { SRFreeInputAFConverter c(SRAFConverterPars({1, 0, 16, true}, pcm8k)); }},
        {"stereo", [&] { SRFreeInputAFConverter c(SRAFConverterPars({1, 8000, 16, false}, pcm8k)); }},
        {"compressed type", [&] { SRMultiAFConverter c(SRAFConverterPars({2, 16000, 0, true}, pcm8k)); }},
        {"12-bit width", [&] { SRMultiAFConverter c(SRPCMConverterParams({1, 8000, 12, true}, pcm8k, 2)); }},
        {"no filter design", [] { EdgeAtNyquist(Pars(16000, 8000, 16)).Initialize(); }},
        {"no whole multiple", [] { SRNaturalNumberUtils().FindLeastNatNumRepeated(1.4); }},
        {"beyond 32 bits", [] { SRNaturalNumberUtils().FindLeastNatNumRepeated(5e9); }},
        {"prime test of 0", [] { SRNaturalNumberUtils().IsItPrim(0); }},
    };
    const uint16_t codes[] = {101, 101, 102, 102, 102, 101, 102, 102, 104, 201, 401, 401, 402};
    static_assert(std::size(codes) == std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].first);
        uint16_t code = 0;
        try {
            cases[i].second();
        } catch (const SException& e) {
            code = e.Code();
        }
        EXPECT_EQ(code, codes[i]);
    }
}
