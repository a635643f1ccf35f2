// The four entry functions: arguments, accepted formats, chunking, held
// bytes, too-small outputs, sample-width conversions through a stream and
// the exact size predictions for 8-bit sides.
#include "afc/afc_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "afc/support.h"
#include "afc/format_chain.h"
#include "afc/sample_formats.h"

namespace {

WAVEFORMATEX pcm(uint32_t rate, uint16_t bits = 16) {
    return {1, 1, rate, rate * bits / 8, static_cast<uint16_t>(bits / 8), bits, 0};
}

std::vector<uint8_t> noise_bytes(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(0, 255);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(d(gen));
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

    // Converts `in` in one call into a buffer sized by the prediction.
    std::vector<uint8_t> convert(const std::vector<uint8_t>& in, uint16_t* result = nullptr) {
        uint32_t cap = 0;
        EXPECT_EQ(AFC_streamDestLength(&handle, static_cast<uint32_t>(in.size()), &cap), 0);
        std::vector<uint8_t> out(std::max<uint32_t>(cap, 1));
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

TEST(AfcStream, BadArguments) {
    const WAVEFORMATEX s = pcm(8000), d = pcm(16000);
    AFC_HANDLE h = nullptr;
    EXPECT_EQ(AFC_streamOpen(nullptr, &s, &d), 2);
    EXPECT_EQ(AFC_streamOpen(&h, nullptr, &d), 2);
    EXPECT_EQ(AFC_streamOpen(&h, &s, nullptr), 2);
    EXPECT_EQ(h, nullptr);

    uint8_t src[4] = {}, dst[4] = {};
    uint32_t taken = 0, written = 0, size = 0;
    EXPECT_EQ(AFC_streamConvert(&h, src, 4, &taken, dst, 4, &written), 2) << "handle never opened";
    EXPECT_EQ(AFC_streamDestLength(&h, 4, &size), 2);

    Stream stream(s, d);
    ASSERT_EQ(stream.open_result, 0);
    ASSERT_NE(stream.handle, nullptr);
    EXPECT_EQ(AFC_streamConvert(&stream.handle, nullptr, 4, &taken, dst, 4, &written), 2);
    EXPECT_EQ(AFC_streamConvert(&stream.handle, src, 4, &taken, nullptr, 4, &written), 2);
    EXPECT_EQ(AFC_streamConvert(&stream.handle, src, 4, nullptr, dst, 4, &written), 2);
    EXPECT_EQ(AFC_streamConvert(&stream.handle, src, 4, &taken, dst, 4, nullptr), 2);
    EXPECT_EQ(AFC_streamDestLength(&stream.handle, 4, nullptr), 2);
    EXPECT_EQ(AFC_streamConvert(&stream.handle, src, 0, &taken, dst, 4, &written), 3);
    EXPECT_EQ(AFC_streamConvert(&stream.handle, src, 4, &taken, dst, 0, &written), 3);
    EXPECT_EQ(AFC_streamDestLength(&stream.handle, 0, &size), 3);
    EXPECT_NE(stream.handle, nullptr) << "argument errors do not end the stream";
    EXPECT_EQ(AFC_streamClose(nullptr), 0);
}

TEST(AfcStream, OnlyMonoEightOrSixteenBitPcmAtTheListedRatesOpens) {
    const WAVEFORMATEX good = pcm(16000);
    WAVEFORMATEX stereo = pcm(16000);
    stereo.nChannels = 2;
    const WAVEFORMATEX bits24 = pcm(16000, 24);
    const WAVEFORMATEX rate48k = pcm(48000);
    WAVEFORMATEX codec = pcm(16000);
    codec.wFormatTag = 0x120;
    const WAVEFORMATEX* bads[] = {&stereo, &bits24, &rate48k, &codec};
    for (const WAVEFORMATEX* bad : bads) {
        AFC_HANDLE h = nullptr;
        EXPECT_EQ(AFC_streamOpen(&h, bad, &good), 102);
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(AFC_streamOpen(&h, &good, bad), 102);
        EXPECT_EQ(h, nullptr);
    }
    for (uint32_t rate : {8000u, 11025u, 12000u, 16000u, 22050u, 32000u, 44100u, 64000u, 88200u, 176400u}) {
        SCOPED_TRACE(rate);
        Stream a(pcm(rate, 8), pcm(8000));
        EXPECT_EQ(a.open_result, 0);
        Stream b(pcm(8000), pcm(rate, 16));
        EXPECT_EQ(b.open_result, 0);
    }
}

TEST(AfcStream, ManySmallCallsGiveTheBytesOfOneBigCall) {
    const std::pair<WAVEFORMATEX, WAVEFORMATEX> cases[] = {
        {pcm(44100), pcm(8000)},   {pcm(8000), pcm(11025)},  {pcm(16000), pcm(8000)},
        {pcm(22050, 8), pcm(16000)}, {pcm(12000), pcm(8000, 8)}, {pcm(11025, 8), pcm(16000, 8)},
        {pcm(16000), pcm(16000, 8)},
    };
    uint32_t seed = 1;
    for (const auto& [s, d] : cases) {
        SCOPED_TRACE(describe(s, d));
        const std::vector<uint8_t> in = noise_bytes(30011, seed++);
        Stream whole(s, d);
        const std::vector<uint8_t> expected = whole.convert(in);
        ASSERT_FALSE(expected.empty());

        Stream pieces(s, d);
        std::mt19937 gen(seed);
        std::uniform_int_distribution<size_t> len(1, 700);
        std::vector<uint8_t> got;
        for (size_t off = 0; off < in.size();) {
            const size_t n = std::min(len(gen), in.size() - off);
            const std::vector<uint8_t> part(in.begin() + static_cast<ptrdiff_t>(off),
                                            in.begin() + static_cast<ptrdiff_t>(off + n));
            const std::vector<uint8_t> out = pieces.convert(part);
            got.insert(got.end(), out.begin(), out.end());
            off += n;
        }
        EXPECT_EQ(got, expected);
    }
}

TEST(AfcStream, BytesShortOfAUnitAreHeldForTheNextCall) {
    Stream s(pcm(8000), pcm(11025));  // units of 640 and 882 bytes
    const std::vector<uint8_t> in = noise_bytes(1280, 7);
    EXPECT_TRUE(s.convert({in.begin(), in.begin() + 600}).empty());
    EXPECT_EQ(s.handle->GetHeldOutputSize(), 1u) << "600 held bytes are no whole unit";
    const std::vector<uint8_t> first = s.convert({in.begin() + 600, in.begin() + 1000});
    EXPECT_EQ(first.size(), 882u);
    const std::vector<uint8_t> second = s.convert({in.begin() + 1000, in.end()});
    EXPECT_EQ(second.size(), 882u);

    Stream one(pcm(8000), pcm(11025));
    std::vector<uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(one.convert(in), both);
}

TEST(AfcStream, TooSmallOutputRaises303AndEndsTheStream) {
    Stream s(pcm(16000), pcm(8000));
    const std::vector<uint8_t> in = noise_bytes(400, 3);
    uint32_t need = 0;
    ASSERT_EQ(AFC_streamDestLength(&s.handle, 400, &need), 0);
    EXPECT_EQ(need, 200u);
    std::vector<uint8_t> out(need - 1);
    uint32_t taken = 0, written = 0;
    EXPECT_EQ(AFC_streamConvert(&s.handle, in.data(), 400, &taken, out.data(), need - 1, &written), 303);
    EXPECT_EQ(s.handle, nullptr);
    EXPECT_EQ(AFC_streamConvert(&s.handle, in.data(), 400, &taken, out.data(), need - 1, &written), 2);
}

TEST(AfcStream, SampleWidthOnlyStreams) {
    Stream widen(pcm(8000, 8), pcm(8000, 16));
    EXPECT_EQ(widen.convert({0x00, 0x80, 0xFF}), (std::vector<uint8_t>{0x00, 0x80, 0x00, 0x00, 0x00, 0x7F}));
    Stream narrow(pcm(8000, 16), pcm(8000, 8));
    const std::vector<uint8_t> words = {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x01, 0xFF, 0x7F, 0x42};
    // The odd last byte is held back as half a sample.
    EXPECT_EQ(narrow.convert(words), (std::vector<uint8_t>{0x00, 0x7F, 0x80, 0x80, 0x81, 0xFF}));
    // Completed by the next byte: the word 0x8042 keeps its high byte 0x80.
    EXPECT_EQ(narrow.convert({0x80}), (std::vector<uint8_t>{0x00}));
}

TEST(AfcStream, EightBitSidesGetExactSizePredictions) {
    // Units count bytes of each side: 16000 -> 8000 at 8 bits in is 2 bytes
    // in, 2 bytes out (one 16-bit sample).
    const std::pair<WAVEFORMATEX, WAVEFORMATEX> cases[] = {
        {pcm(16000, 8), pcm(8000, 16)}, {pcm(8000, 16), pcm(11025, 8)}, {pcm(8000, 8), pcm(11025, 8)},
        {pcm(44100, 8), pcm(8000, 16)},
    };
    for (const auto& [s, d] : cases) {
        SCOPED_TRACE(describe(s, d));
        Stream stream(s, d);
        ASSERT_EQ(stream.open_result, 0);
        const uint32_t inUnit = stream.handle->Chain().GetInputBufferUnitSize();
        const uint32_t outUnit = stream.handle->Chain().GetOutputBufferUnitSize();
        // One unit spans the same time on both sides, in each side's bytes.
        EXPECT_DOUBLE_EQ(static_cast<double>(inUnit) / s.nAvgBytesPerSec,
                         static_cast<double>(outUnit) / d.nAvgBytesPerSec);
        const std::vector<uint8_t> in = noise_bytes(inUnit * 7, 11);
        uint16_t r = 0xFFFF;
        const std::vector<uint8_t> out = stream.convert(in, &r);
        EXPECT_EQ(r, 0) << "an output buffer of the predicted size is enough";
        EXPECT_EQ(out.size(), outUnit * 7u);
    }
}

TEST(AfcStream, EightToEightBitsResamplesAtSixteenBits) {
    const std::vector<uint8_t> in = noise_bytes(320 * 5, 5);
    Stream direct(pcm(8000, 8), pcm(11025, 8));
    const std::vector<uint8_t> got = direct.convert(in);

    Stream widen(pcm(8000, 8), pcm(8000, 16));
    Stream resample(pcm(8000, 16), pcm(11025, 16));
    Stream narrow(pcm(11025, 16), pcm(11025, 8));
    EXPECT_EQ(got, narrow.convert(resample.convert(widen.convert(in))));
    EXPECT_EQ(got.size(), 441u * 5);

    // The stage's bit converter is back at 8 to 16 bits after the call.
    const auto& stage = dynamic_cast<const SRPCMConverter&>(*direct.handle->Chain().StageConverters().at(0));
    EXPECT_EQ(stage.BitConverter()->SourceBits(), 8u);
    EXPECT_EQ(stage.BitConverter()->DestinationBits(), 16u);
}

TEST(AfcStream, EqualFormatsCopyWithinTheLargestBlockSoFar) {
    Stream s(pcm(8000), pcm(8000));
    EXPECT_TRUE(s.handle->Chain().StageConverters().empty());
    const std::vector<uint8_t> a = noise_bytes(1000, 1);
    EXPECT_EQ(s.convert(a), a);
    // The copy takes the work buffer's capacity (1000 bytes) as its size
    // check, so a 500-byte output cannot take a 500-byte input any more.
    const std::vector<uint8_t> b = noise_bytes(500, 2);
    std::vector<uint8_t> out(500);
    uint32_t taken = 0, written = 0;
    EXPECT_EQ(AFC_streamConvert(&s.handle, b.data(), 500, &taken, out.data(), 500, &written), 305);
    EXPECT_EQ(s.handle, nullptr);
}

TEST(AfcStream, SizeQueriesFlushAndReset) {
    SRFreeInputAFConverter c(SRPCMConverterParams({1, 8000, 16, true}, {1, 11025, 16, true}, 2));
    EXPECT_EQ(c.GetOutputSizeFor(1), 882u);
    EXPECT_EQ(c.GetOutputSizeFor(640), 882u);
    EXPECT_EQ(c.GetOutputSizeFor(641), 1764u);
    EXPECT_EQ(c.GetInputSizeFor(883), 1280u);
    EXPECT_EQ(c.GetOutputSizeFor(0xFFFFFFFFu), 0xFFFFFFFFu) << "beyond 32 bits the size saturates";

    const std::vector<uint8_t> in = noise_bytes(1000, 9);
    std::vector<uint8_t> outBytes(4096);
    SRJBuffer src, dst;
    src.SetBuffer(const_cast<uint8_t*>(in.data()), 1000);
    dst.SetBuffer(outBytes.data(), 4096);
    c.Convert(src, dst);
    EXPECT_EQ(dst.GetSizeBytes(), 882u);
    EXPECT_EQ(c.GetHeldOutputSize(), 1u);  // 360 bytes held: no whole unit
    SRJBuffer flushed;
    c.Flush(flushed);
    EXPECT_EQ(flushed.GetSizeBytes(), 882u) << "the held part is completed to a unit";
    SRJBuffer empty;
    c.Flush(empty);
    EXPECT_EQ(empty.GetSizeBytes(), 0u);

    // After Reset the converter behaves as a fresh one.
    c.Reset();
    std::vector<uint8_t> again(4096);
    SRJBuffer src2, dst2;
    src2.SetBuffer(const_cast<uint8_t*>(in.data()), 1000);
    dst2.SetBuffer(again.data(), 4096);
    c.Convert(src2, dst2);
    EXPECT_EQ(std::memcmp(again.data(), outBytes.data(), 882), 0);
}

TEST(AfcChain, FormatChecksOfTheChain) {
    auto code_of = [](auto f) -> uint16_t {
        try {
            f();
        } catch (const SException& e) {
            return e.Code();
        }
        return 0;
    };
    EXPECT_EQ(code_of([] { SRFreeInputAFConverter c(SRAFConverterPars({1, 0, 16, true}, {1, 8000, 16, true})); }),
              101);
    EXPECT_EQ(code_of([] { SRFreeInputAFConverter c(SRAFConverterPars({1, 8000, 16, false}, {1, 8000, 16, true})); }),
              102);
    // A compressed type needs a codec stage, which this library does not have.
    EXPECT_EQ(code_of([] { SRMultiAFConverter c(SRAFConverterPars({2, 16000, 0, true}, {1, 8000, 16, true})); }),
              102);
    // A plain record keeps kind 0, and the PCM stage gets the default kind 2.
    SRMultiAFConverter plain(SRAFConverterPars({1, 8000, 16, true}, {1, 16000, 16, true}));
    EXPECT_EQ(plain.RateConverterKind(), 0);
    const auto& stage = dynamic_cast<const SRPCMConverter&>(*plain.StageConverters().at(0));
    EXPECT_EQ(stage.RateConverterKind(), 2);
    EXPECT_EQ(code_of([] { SRMultiAFConverter c(SRPCMConverterParams({1, 8000, 12, true}, {1, 8000, 16, true}, 2)); }),
              104);
    // Equal rates with different widths: units of one sample on each side.
    SRMultiAFConverter widthOnly(SRPCMConverterParams({1, 8000, 8, true}, {1, 8000, 16, true}, 2));
    EXPECT_EQ(widthOnly.GetInputBufferUnitSize(), 1u);
    EXPECT_EQ(widthOnly.GetOutputBufferUnitSize(), 2u);
    const auto& w = dynamic_cast<const SRPCMConverter&>(*widthOnly.StageConverters().at(0));
    EXPECT_EQ(w.RateConverter(), nullptr);
    // Kind 1 is one single stage with the large factors.
    SRMultiAFConverter single(SRPCMConverterParams({1, 8000, 16, true}, {1, 11025, 16, true}, 1));
    EXPECT_EQ(single.GetInputBufferUnitSize(), 640u);
    EXPECT_EQ(single.GetOutputBufferUnitSize(), 882u);
}
