// The four entry functions: arguments, accepted formats, chunking, too-small
// outputs, sample-width conversions and the size predictions.
#include "afc/afc_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

WAVEFORMATEX pcm(uint32_t rate, uint16_t bits = 16) {
    return {1, 1, rate, rate * bits / 8, static_cast<uint16_t>(bits / 8), bits, 0};
}

// Bytes from a fixed generator.
std::vector<uint8_t> noise_bytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return v;
}

// The fields of the packed format record are read by value: a reference
// to one would be misaligned.
std::string describe(const WAVEFORMATEX& s, const WAVEFORMATEX& d) {
    return std::to_string(static_cast<uint32_t>(s.nSamplesPerSec)) + "/" + std::to_string(int{s.wBitsPerSample}) +
           " -> " + std::to_string(static_cast<uint32_t>(d.nSamplesPerSec)) + "/" +
           std::to_string(int{d.wBitsPerSample});
}

// A stream over a handle that is closed when the test ends.
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
    // Converts `in` in one call into a buffer of `room` bytes (by default
    // the predicted size); returns the result code in `result`.
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

}  // namespace

TEST(AfcStream, NullArgumentsAndZeroCountsAreRefusedWithoutEndingTheStream) {
    const WAVEFORMATEX s = pcm(8000), d = pcm(16000);
    AFC_HANDLE none = nullptr;
    EXPECT_EQ(AFC_streamOpen(nullptr, &s, &d), 2);
    EXPECT_EQ(AFC_streamOpen(&none, nullptr, &d), 2);
    EXPECT_EQ(AFC_streamOpen(&none, &s, nullptr), 2);
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

TEST(AfcStream, OnlyMonoEightOrSixteenBitPcmAtTheListedRatesOpens) {
    const WAVEFORMATEX good = pcm(16000);
    WAVEFORMATEX stereo = pcm(16000), codec = pcm(16000);
    stereo.nChannels = 2;
    codec.wFormatTag = 0x120;
    for (const WAVEFORMATEX& bad : {stereo, pcm(16000, 24), pcm(48000), codec}) {
        AFC_HANDLE h = nullptr;
        EXPECT_EQ(AFC_streamOpen(&h, &bad, &good), 102);
        EXPECT_EQ(AFC_streamOpen(&h, &good, &bad), 102);
        EXPECT_EQ(h, nullptr);
    }
    for (uint32_t rate : {8000u, 11025u, 12000u, 16000u, 22050u, 32000u, 44100u, 64000u, 88200u, 176400u}) {
        EXPECT_EQ(Stream(pcm(rate, 8), pcm(8000)).open_result, 0) << rate;
        EXPECT_EQ(Stream(pcm(8000), pcm(rate, 16)).open_result, 0) << rate;
    }
}

TEST(AfcStream, ManySmallCallsGiveTheBytesOfOneBigCall) {
    const std::pair<WAVEFORMATEX, WAVEFORMATEX> cases[] = {
        {pcm(44100), pcm(8000)},     {pcm(8000), pcm(11025)},    {pcm(16000), pcm(8000)},
        {pcm(22050, 8), pcm(16000)}, {pcm(12000), pcm(8000, 8)}, {pcm(11025, 8), pcm(16000, 8)},
        {pcm(16000), pcm(16000, 8)},
    };
    uint32_t seed = 1;
    for (const auto& [s, d] : cases) {
        SCOPED_TRACE(describe(s, d));
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
    // 8000 -> 11025 Hz goes in units of 40 ms: 600 bytes are held, and
    // 400 more complete the first unit.
    Stream held(pcm(8000), pcm(11025));
    const std::vector<uint8_t> in = noise_bytes(1000, 7);
    EXPECT_TRUE(held.convert({in.begin(), in.begin() + 600}).empty());
    EXPECT_EQ(held.convert({in.begin() + 600, in.end()}).size(), 882u);
}

TEST(AfcStream, PredictionsCoverWholeUnitsAndOneSecondGivesOneSecond) {
    Stream s(pcm(8000), pcm(11025));
    EXPECT_EQ(s.predict(1), 882u);
    EXPECT_EQ(s.predict(640), 882u);
    EXPECT_EQ(s.predict(641), 1764u);
    EXPECT_EQ(s.predict(0xFFFFFFFFu), 0xFFFFFFFFu) << "beyond 32 bits the size saturates";
    const std::pair<WAVEFORMATEX, WAVEFORMATEX> cases[] = {
        {pcm(16000, 8), pcm(8000, 16)}, {pcm(8000, 16), pcm(11025, 8)}, {pcm(8000, 8), pcm(11025, 8)},
        {pcm(44100, 8), pcm(8000, 16)}, {pcm(12000, 16), pcm(176400, 16)},
    };
    for (const auto& [src, dst] : cases) {
        SCOPED_TRACE(describe(src, dst));
        Stream stream(src, dst);
        // The records are packed: their fields are read into plain values.
        const uint32_t in_per_second = src.nAvgBytesPerSec, out_per_second = dst.nAvgBytesPerSec;
        const std::vector<uint8_t> second = noise_bytes(in_per_second, 11);
        EXPECT_EQ(stream.predict(second.size()), out_per_second);
        uint16_t r = 0xFFFF;
        EXPECT_EQ(stream.convert(second, &r).size(), out_per_second);
        EXPECT_EQ(r, 0);
    }
}

TEST(AfcStream, TooSmallOutputRaises303AndEndsTheStream) {
    Stream s(pcm(16000), pcm(8000));
    uint16_t r = 0;
    EXPECT_TRUE(s.convert(noise_bytes(400, 3), &r, 199).empty());
    EXPECT_EQ(r, 303);
    EXPECT_EQ(s.handle, nullptr);
}

TEST(AfcStream, EqualFormatsCopyWithinTheLargestBlockSoFar) {
    Stream s(pcm(8000), pcm(8000));
    const std::vector<uint8_t> a = noise_bytes(1000, 1);
    EXPECT_EQ(s.convert(a), a);
    // The copy takes the work buffer's capacity (1000 bytes) as its size
    // check, so a 500-byte output cannot take a 500-byte input any more.
    uint16_t r = 0;
    EXPECT_TRUE(s.convert(noise_bytes(500, 2), &r, 500).empty());
    EXPECT_EQ(r, 305);
    EXPECT_EQ(s.handle, nullptr);
}

TEST(AfcStream, SampleWidthsFollowTheOffsetBinaryRule) {
    // 8 bits are offset binary: byte b is the 16-bit sample (b - 128) * 256.
    Stream widen(pcm(8000, 8), pcm(8000, 16));
    EXPECT_EQ(widen.convert({0x00, 0x80, 0xFF}), (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x00, 0x00, 0x7F}));
    // -32768, -1, 0, 255, 256, 32767: the high byte + 128. The odd last byte
    // is held back as half a sample, completed by the next call.
    Stream narrow(pcm(8000, 16), pcm(8000, 8));
    const std::vector<uint8_t> words = {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01, 0xFF, 0x7F, 0x42};
    EXPECT_EQ(narrow.convert(words), (std::vector<uint8_t>{0x00, 0x7F, 0x80, 0x80, 0x81, 0xFF}));
    EXPECT_EQ(narrow.convert({0x80}), (std::vector<uint8_t>{0x00}));

    // 8 to 8 bits with a rate change: widened, resampled and narrowed.
    const std::vector<uint8_t> in = noise_bytes(320 * 5, 5);
    Stream direct(pcm(8000, 8), pcm(11025, 8));
    Stream up(pcm(8000, 8), pcm(8000, 16)), resample(pcm(8000, 16), pcm(11025, 16));
    Stream down(pcm(11025, 16), pcm(11025, 8));
    const std::vector<uint8_t> got = direct.convert(in);
    EXPECT_EQ(got.size(), 441u * 5);
    EXPECT_EQ(got, down.convert(resample.convert(up.convert(in))));
    EXPECT_EQ(direct.convert(in), down.convert(resample.convert(up.convert(in)))) << "and again on the next call";
}
