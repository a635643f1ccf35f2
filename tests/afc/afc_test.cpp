// The audio format converter: entry functions, rate conversion, filter design, special functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <numbers>
#include <sstream>
#include <string>

#include "afc/afc_stream.h"
#include "afc/filter_design.h"
#include "afc/filter_kernel.h"
#include "afc/format_chain.h"
#include "afc/rate_stages.h"
#include "afc/support.h"
#include "support/riff_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

namespace {

WAVEFORMATEX pcm(uint32_t rate, uint16_t bits = 16) {
    return {1, 1, rate, rate * bits / 8, static_cast<uint16_t>(bits / 8), bits, 0};
}

class Stream {
public:
    Stream(const WAVEFORMATEX& s, const WAVEFORMATEX& d) { open_result = AFC_streamOpen(&handle, &s, &d); }
    ~Stream() { AFC_streamClose(&handle); }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    uint32_t predict(size_t bytes) {
        uint32_t size = 0;
        EXPECT_EQ(AFC_streamDestLength(&handle, static_cast<uint32_t>(bytes), &size), 0);
        return size;
    }
    // One call into `room` bytes (default: the predicted size).
    std::vector<uint8_t> convert(const std::vector<uint8_t>& in, uint16_t* result = nullptr, uint32_t room = 0) {
        std::vector<uint8_t> out(std::max<uint32_t>(room ? room : predict(in.size()), 1));
        uint32_t taken = 0, written = 0;
        const uint16_t r = AFC_streamConvert(&handle, in.data(), static_cast<uint32_t>(in.size()), &taken,
                                             out.data(), static_cast<uint32_t>(out.size()), &written);
        if (result) *result = r;
        EXPECT_TRUE(result || r == 0) << "result " << r;
        if (r == 0) {
            EXPECT_EQ(taken, in.size());
        }
        out.resize(r == 0 ? written : 0);
        return out;
    }
    AFC_HANDLE handle = nullptr;
    uint16_t open_result = 0xFFFF;
};

// Noise from a fixed generator, the same with every standard library.
std::vector<int16_t> noise(size_t n, uint32_t seed, int32_t amplitude = 32768) {
    std::vector<int16_t> s(n);
    for (auto& v : s) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<int16_t>((static_cast<int32_t>(seed >> 16) - 32768) * amplitude / 32768);
    }
    return s;
}

std::vector<uint8_t> noise_bytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> b = riff_bytes::sample_bytes(noise((n + 1) / 2, seed));
    b.resize(n);
    return b;
}

// Half a second: noise under a sweep (clips), silence (states decay), -1/0/1, a quiet tone.
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

// Three calls of odd sizes into one buffer sized for the largest, as the file converters do.
std::vector<uint8_t> reference_output(uint32_t from, uint32_t to, uint16_t bitsIn, uint16_t bitsOut) {
    std::vector<uint8_t> in;
    for (int16_t v : reference_signal(from)) {
        if (bitsIn == 16) in.push_back(static_cast<uint8_t>(v & 0xFF));
        in.push_back(static_cast<uint8_t>((v >> 8) + (bitsIn == 8 ? 128 : 0)));
    }
    Stream s(pcm(from, bitsIn), pcm(to, bitsOut));
    const size_t cuts[] = {0, in.size() * 3 / 8 | 1, in.size() * 4 / 5 | 1, in.size()};
    const uint32_t room = s.predict(cuts[2] - cuts[1]);
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < std::size(cuts); ++i) {
        const std::vector<uint8_t> part = s.convert({in.begin() + cuts[i], in.begin() + cuts[i + 1]}, nullptr, room);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

struct Reference {
    uint32_t from, to;
    uint16_t bitsIn, bitsOut;
    size_t bytes;
    uint64_t hash;
};

// Recorded from the converter's scalar loops: any other order of the same steps must match.
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

// Level change of a one-second tone, after the first 100 ms where the filters settle.
double level_db(uint32_t from, uint32_t to, double freq) {
    std::vector<int16_t> in(from), out;
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * freq * i / from)));
    const std::vector<uint8_t> bytes = Stream(pcm(from), pcm(to)).convert(riff_bytes::sample_bytes(in));
    out.resize(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), bytes.size());
    return 20 * std::log10(rms(out, to / 10) / rms(in, from / 10));
}

struct ScipyFilter {
    double rate = 0, edge = 0;
    double b[7] = {}, a[7] = {};
};

// Filters designed by scipy.signal.ellip (tests/data/make_ellip_coefficients.py).
std::vector<ScipyFilter> scipy_references() {
    std::ifstream in(orvkt_test::data_path("ellip_coefficients.txt"));
    std::vector<ScipyFilter> refs;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        ScipyFilter r;
        fields >> r.rate >> r.edge;
        for (double& v : r.b) fields >> v;
        for (double& v : r.a) fields >> v;
        if (fields) refs.push_back(r);
    }
    return refs;
}

SRFilterSpecification low_pass(double rate, double edge) {
    SRFilterSpecification wanted;
    wanted.order = 6;
    wanted.designRate = rate;
    wanted.ripple = 1.0;
    wanted.attenuation = 60.0;
    wanted.passEdge = edge;
    wanted.stopEdge = 1.3 * edge;
    wanted.bandKind = afc_filter::kLowPass;
    wanted.family = afc_filter::kElliptic;
    return wanted;
}

// A stage asking for a pass band up to Nyquist, which no low-pass design can give.
class EdgeAtNyquist : public SRSimpleSRConverter {
public:
    using SRSimpleSRConverter::SRSimpleSRConverter;
    void SpecifyFilter() override {
        SRSimpleSRConverter::SpecifyFilter();
        m_spec.passEdge = m_spec.designRate / 2;
    }
};

}  // namespace

TEST(AfcStream, NullArgumentsZeroCountsAndOtherFormatsAreRefused) {
    const WAVEFORMATEX s = pcm(8000), d = pcm(16000);
    AFC_HANDLE none = nullptr;
    EXPECT_EQ(AFC_streamOpen(nullptr, &s, &d), 2);
    EXPECT_EQ(AFC_streamOpen(&none, nullptr, &d), 2);
    EXPECT_EQ(AFC_streamOpen(&none, &s, nullptr), 2);
    // Stereo, 24 bits, a rate off the list: formats the stream does not take.
    for (const WAVEFORMATEX& bad : {WAVEFORMATEX{1, 2, 8000, 32000, 4, 16, 0}, pcm(8000, 24), pcm(9000)})
        EXPECT_EQ(AFC_streamOpen(&none, &bad, &d), 102);
    EXPECT_EQ(none, nullptr);
    uint8_t src[4] = {}, dst[4] = {};
    uint32_t taken = 0, written = 0, size = 0;
    EXPECT_EQ(AFC_streamConvert(&none, src, 4, &taken, dst, 4, &written), 2) << "handle never opened";
    EXPECT_EQ(AFC_streamDestLength(&none, 4, &size), 2);
    EXPECT_EQ(AFC_streamClose(nullptr), 0);
    Stream stream(s, d);
    ASSERT_EQ(stream.open_result, 0);
    AFC_HANDLE* h = &stream.handle;
    const std::pair<uint16_t, uint16_t> results[] = {
        {AFC_streamConvert(h, nullptr, 4, &taken, dst, 4, &written), 2},
        {AFC_streamConvert(h, src, 4, &taken, nullptr, 4, &written), 2},
        {AFC_streamConvert(h, src, 4, nullptr, dst, 4, &written), 2},
        {AFC_streamConvert(h, src, 4, &taken, dst, 4, nullptr), 2},
        {AFC_streamDestLength(h, 4, nullptr), 2},
        {AFC_streamConvert(h, src, 0, &taken, dst, 4, &written), 3},
        {AFC_streamConvert(h, src, 4, &taken, dst, 0, &written), 3},
        {AFC_streamDestLength(h, 0, &size), 3},
    };
    for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i].first, results[i].second) << "call " << i;
    EXPECT_NE(stream.handle, nullptr);
}

TEST(AfcStream, ManySmallCallsGiveTheBytesOfOneBigCall) {
    const std::pair<WAVEFORMATEX, WAVEFORMATEX> cases[] = {
        {pcm(44100), pcm(8000)},     {pcm(8000), pcm(11025)},    {pcm(16000), pcm(8000)},
        {pcm(22050, 8), pcm(16000)}, {pcm(12000), pcm(8000, 8)}, {pcm(11025, 8), pcm(16000, 8)},
        {pcm(16000), pcm(16000, 8)},
    };
    uint32_t seed = 1;
    for (const auto& [s, d] : cases) {
        SCOPED_TRACE(seed);
        const std::vector<uint8_t> in = noise_bytes(30011, seed++);
        const std::vector<uint8_t> expected = Stream(s, d).convert(in);
        ASSERT_FALSE(expected.empty());
        Stream pieces(s, d);
        std::vector<uint8_t> got;
        uint32_t lengths = seed;
        for (size_t off = 0; off < in.size();) {
            lengths = lengths * 1664525u + 1013904223u;
            const size_t n = std::min<size_t>(1 + (lengths >> 16) % 700, in.size() - off);
            const std::vector<uint8_t> out = pieces.convert({in.begin() + off, in.begin() + off + n});
            got.insert(got.end(), out.begin(), out.end());
            off += n;
        }
        EXPECT_EQ(got, expected);
    }
    // 8000 -> 11025 Hz goes in units of 640 -> 882 bytes: predictions cover whole units.
    Stream held(pcm(8000), pcm(11025));
    EXPECT_EQ(held.predict(1), 882u);
    EXPECT_EQ(held.predict(640), 882u);
    EXPECT_EQ(held.predict(641), 1764u);
    EXPECT_EQ(held.predict(0xFFFFFFFFu), 0xFFFFFFFFu) << "beyond 32 bits the size saturates";
    const std::vector<uint8_t> in = noise_bytes(1000, 7);
    EXPECT_TRUE(held.convert({in.begin(), in.begin() + 600}).empty());
    EXPECT_EQ(held.convert({in.begin() + 600, in.end()}).size(), 882u);
}

TEST(AfcStream, TooSmallOutputEndsTheStream) {
    Stream small(pcm(16000), pcm(8000));
    uint16_t r = 0;
    EXPECT_TRUE(small.convert(noise_bytes(400, 3), &r, 199).empty());
    EXPECT_EQ(r, 303);
    EXPECT_EQ(small.handle, nullptr);
    Stream s(pcm(8000), pcm(8000));
    const std::vector<uint8_t> a = noise_bytes(1000, 1);
    EXPECT_EQ(s.convert(a), a);
    // The copy checks against the work buffer's capacity (1000 bytes), not the input.
    EXPECT_TRUE(s.convert(noise_bytes(500, 2), &r, 500).empty());
    EXPECT_EQ(r, 305);
    EXPECT_EQ(s.handle, nullptr);
}

TEST(AfcStream, SampleWidthsFollowTheOffsetBinaryRule) {
    // 8 bits are offset binary: byte b is the 16-bit sample (b - 128) * 256.
    Stream widen(pcm(8000, 8), pcm(8000, 16));
    EXPECT_EQ(widen.convert({0x00, 0x80, 0xFF}), (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x00, 0x00, 0x7F}));
    // -32768, -1, 0, 255, 256, 32767: the high byte + 128; the odd last byte waits for the next call.
    Stream narrow(pcm(8000, 16), pcm(8000, 8));
    const std::vector<uint8_t> words = {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01, 0xFF, 0x7F, 0x42};
    EXPECT_EQ(narrow.convert(words), (std::vector<uint8_t>{0x00, 0x7F, 0x80, 0x80, 0x81, 0xFF}));
    EXPECT_EQ(narrow.convert({0x80}), (std::vector<uint8_t>{0x00}));
}

// Every set of vector lanes the processor has, and the scalar loops.
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

TEST(Resampling, PassBandToneKeepsItsLevel) {
    // Each stage contributes between the -1 dB of DC and the 0 dB top of its ripple.
    const std::pair<uint32_t, uint32_t> cases[] = {
        {16000, 8000}, {8000, 16000}, {44100, 8000}, {8000, 11025}, {12000, 8000}};
    for (const auto& [from, to] : cases) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to);
        SRMultiStageSRConverter plan(SRSamplingRateConverterPars(from, to, 16));
        const double db = level_db(from, to, 1000);
        EXPECT_GE(db, -1.05 * static_cast<double>(plan.StageConverters().size()));
        EXPECT_LE(db, 0.05);
    }
}

TEST(Resampling, PartialUnitIsPaddedWithItsLastByte) {
    // Kind 1: one stage with units of 640 and 882 bytes.
    const SRSamplingRateConverterPars pars(8000, 11025, 16);
    std::vector<uint8_t> bytes = riff_bytes::sample_bytes(noise(320, 21, 8000));
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

TEST(FilterDesigner, EllipticLowPassMatchesScipy) {
    const auto refs = scipy_references();
    ASSERT_GE(refs.size(), 4u) << "reference file missing or short";
    SRFilterDesigner designer;
    for (const ScipyFilter& r : refs) {
        SCOPED_TRACE(testing::Message() << r.rate << " Hz, edge " << r.edge);
        std::vector<float> a, b;
        ASSERT_TRUE(designer.Design(low_pass(r.rate, r.edge), a, b));
        ASSERT_EQ(a.size(), 8u);
        ASSERT_EQ(b.size(), 8u);
        EXPECT_EQ(a[0], 0.0f);
        EXPECT_EQ(b[0], 0.0f);
        EXPECT_EQ(a[1], 1.0f);
        for (int i = 0; i < 7; ++i) {
            // Single precision, relative to each polynomial's coefficients.
            EXPECT_NEAR(b[i + 1], r.b[i], 2e-6 * 0.3 + 4e-7 * std::fabs(r.b[i])) << "b" << i;
            EXPECT_NEAR(a[i + 1], r.a[i], 4e-6 * std::max(1.0, std::fabs(r.a[i]))) << "a" << i;
        }
    }
}

TEST(EllipticFunctions, KnownValuesAndFallbacks) {
    using namespace afc_elliptic;
    const double pi = std::numbers::pi;
    const double kHalf = 1.8540746773013719;  // K(1/2) = Gamma(1/4)^2 / (4 sqrt(pi))
    EXPECT_NEAR(ellpk(1.0), pi / 2, 1e-15);   // K(0)
    EXPECT_NEAR(ellpk(0.5), kHalf, 1e-14);
    EXPECT_NEAR(ellpk(1e-20), std::log(4.0) + 0.5 * std::log(1e20), 1e-12);
    EXPECT_EQ(ellpk(0.0), kOverflowValue);
    EXPECT_EQ(ellpk(1.5), 0.0);
    EXPECT_NEAR(ellik(pi / 2, 0.5), kHalf, 1e-14);
    EXPECT_NEAR(ellik(pi / 6, 0.0), pi / 6, 1e-15);
    EXPECT_NEAR(ellik(0.7, 1.0), std::atanh(std::sin(0.7)), 1e-14);  // F(phi | 1) = atanh(sin phi)
    EXPECT_EQ(ellik(2.0, 1.0), kOverflowValue);
    EXPECT_NEAR(ellik(pi / 2 + pi, 0.5), 3 * kHalf, 1e-13);
    // sn(K | m) = 1, cn(K) = 0, dn(K) = sqrt(1 - m); the amplitude inverts F.
    const Jacobi atK = ellpj(kHalf, 0.5);
    EXPECT_NEAR(atK.sn, 1.0, 1e-14);
    EXPECT_NEAR(atK.cn, 0.0, 1e-7);
    EXPECT_NEAR(atK.dn, std::sqrt(0.5), 1e-14);
    EXPECT_NEAR(ellik(ellpj(0.8, 0.3).ph, 0.3), 0.8, 1e-14);
    EXPECT_NEAR(ellpj(0.8, 1.0).sn, std::tanh(0.8), 1e-12);
    EXPECT_NEAR(ellpj(0.8, 1.0).cn, 1.0 / std::cosh(0.8), 1e-12);
    EXPECT_NEAR(ellpj(0.8, 0.0).sn, std::sin(0.8), 1e-15);
    EXPECT_EQ(ellpj(0.8, 1.5).sn, 0.0);
    EXPECT_EQ(cdiv({1.0, 1.0}, {0.0, 0.0}), std::complex<double>(kOverflowValue, kOverflowValue));
    const auto r = cdiv({1.0, 2.0}, {3.0, -1.0});
    EXPECT_NEAR(r.real(), 0.1, 1e-15);
    EXPECT_NEAR(r.imag(), 0.7, 1e-15);
}

TEST(EllipticFunctions, ANumericalErrorIsAWarningOfItsOwnUnit) {
    xkrvlog::Capture capture;
    EXPECT_EQ(afc_elliptic::ellpk(-0.5), 0.0);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, xkrvlog::Level::Warning);
    EXPECT_EQ(lines[0].file, "EllipticFunctions");
    EXPECT_EQ(lines[0].text, "ellpk domain error");
}
