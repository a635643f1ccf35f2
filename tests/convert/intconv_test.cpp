// The codec stream layer over a test codec registered with the codec
// manager, and over the PCM-to-PCM converter.
#include "convert/codec_stage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "trace/xkrvlog_capture.h"

using namespace vkt::acm;

namespace {

constexpr uint16_t kToyTag = 0x7777;

WAVEFORMATEX pcm(uint32_t rate) { return {WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0}; }
WAVEFORMATEX toy() { return {kToyTag, 1, 8000, 8000, 2, 8, 0}; }

struct ToyState {
    int converts = 0;
    bool failConvert = false;
    uint16_t suggestedExtra = 0;
};

// Encodes a 16-bit sample into its high byte; decodes a byte into the
// sample (byte << 8). Two samples make one block.
class ToyStream : public CodecStream {
public:
    ToyStream(bool encode, ToyState& state) : encode_(encode), state_(state) {}
    MMRESULT size(uint32_t bytes, uint32_t flags, uint32_t* result) override {
        const bool forward = flags == ACM_STREAMSIZEF_SOURCE;
        *result = (encode_ == forward) ? bytes / 4 * 2 : bytes / 2 * 4;
        return 0;
    }
    MMRESULT convert(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t cap, uint32_t* used,
                     uint32_t* made) override {
        ++state_.converts;
        if (state_.failConvert) return MMSYSERR_ERROR;
        const uint32_t inBlock = encode_ ? 4 : 2, outBlock = encode_ ? 2 : 4;
        const uint32_t blocks = std::min(n / inBlock, cap / outBlock);
        for (uint32_t i = 0; i < blocks * 2; ++i) {
            if (encode_) {
                dst[i] = src[2 * i + 1];
            } else {
                dst[2 * i] = 0;
                dst[2 * i + 1] = src[i];
            }
        }
        *used = blocks * inBlock;
        *made = blocks * outBlock;
        return 0;
    }

private:
    bool encode_;
    ToyState& state_;
};

class ToyDriver : public Driver {
public:
    explicit ToyDriver(ToyState& state) : state_(state) {}
    const char* name() const override { return "toy"; }
    MMRESULT open(const WAVEFORMATEX& s, const WAVEFORMATEX& d, std::unique_ptr<CodecStream>* out) override {
        if (s.wFormatTag == WAVE_FORMAT_PCM && d.wFormatTag == kToyTag)
            *out = std::make_unique<ToyStream>(true, state_);
        else if (s.wFormatTag == kToyTag && d.wFormatTag == WAVE_FORMAT_PCM)
            *out = std::make_unique<ToyStream>(false, state_);
        else
            return ACMERR_NOTPOSSIBLE;
        return 0;
    }
    MMRESULT suggest(const WAVEFORMATEX& s, WAVEFORMATEX* d) override {
        if (s.wFormatTag != kToyTag) return ACMERR_NOTPOSSIBLE;
        *d = pcm(8000);
        d->cbSize = state_.suggestedExtra;
        return 0;
    }
    uint32_t max_format_size() const override { return 40; }

private:
    ToyState& state_;
};

// A registered toy codec with one open stream each way, and a PCM-to-PCM
// handle from 16000 to 8000 Hz.
class StreamLayer : public testing::Test {
protected:
    void SetUp() override {
        const WAVEFORMATEX p = pcm(8000), t = toy();
        ASSERT_EQ(acmStreamOpen(&decode_, nullptr, &t, &p, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), 0u);
        ASSERT_EQ(acmStreamOpen(&encode_, nullptr, &p, &t, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), 0u);
        const WAVEFORMATEX from = pcm(16000), to = pcm(8000);
        ASSERT_EQ(AFC_streamOpen(&afc_, &from, &to), 0);
    }
    void TearDown() override {
        acmStreamClose(decode_, 0);
        acmStreamClose(encode_, 0);
        AFC_streamClose(&afc_);
    }

    ToyState state_;
    ScopedDriver driver_{std::make_shared<ToyDriver>(state_)};
    HACMSTREAM decode_ = nullptr;
    HACMSTREAM encode_ = nullptr;
    AFC_HANDLE afc_ = nullptr;
};

}  // namespace

TEST_F(StreamLayer, SizesOfEachStage) {
    xkrvlog::Capture log;
    uint32_t size = 0;
    EXPECT_EQ(size_conv_stream(intconv::AFC_CONV, 400, &size, &afc_), 0u);
    EXPECT_EQ(size, 200u);
    EXPECT_TRUE(log.contains("*pdwDstSize_p: "));
    EXPECT_EQ(size_conv_stream(intconv::XFMT_PCM_CONV, 10, &size, decode_), 0u);
    EXPECT_EQ(size, 20u);
    EXPECT_EQ(size_conv_stream(intconv::PCM_YFMT_CONV, 10, &size, encode_), 0u);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(size_conv_stream(&size, 6, encode_), 0u);
    EXPECT_EQ(size, 12u) << "PCM bytes for 6 encoded bytes";
}

TEST_F(StreamLayer, SizeFailures) {
    xkrvlog::Capture log;
    uint32_t size = 0;
    EXPECT_EQ(size_conv_stream(intconv::AFC_CONV, 0, &size, &afc_), 12u);
    EXPECT_TRUE(log.contains_error(3, "Error AFC_streamDestLength"));
    EXPECT_EQ(size_conv_stream(intconv::XFMT_PCM_CONV, 10, &size, HACMSTREAM{}), 12u);
    EXPECT_TRUE(log.contains("Error acm stream size"));
    EXPECT_EQ(size_conv_stream(&size, 6, HACMSTREAM{}), 12u);
    EXPECT_TRUE(log.contains("Error acm stream size backwards"));
    // A type the engine does not serve: an unknown one, or another engine's.
    EXPECT_EQ(size_conv_stream(3, 10, &size, decode_), 12u);
    EXPECT_EQ(size_conv_stream(7, 10, &size, &afc_), 12u);
    EXPECT_EQ(size_conv_stream(intconv::XFMT_PCM_CONV, 10, &size, &afc_), 12u);
    EXPECT_EQ(size_conv_stream(intconv::AFC_CONV, 10, &size, decode_), 12u);
    EXPECT_TRUE(log.contains_error(12, "Invalid conversion type"));
    EXPECT_EQ(state_.converts, 0);
}

TEST_F(StreamLayer, CodecStagesConvertThroughTheStreams) {
    const uint8_t encoded[4] = {0x12, 0x80, 0xFF, 0x00};
    uint8_t samples[8] = {};
    uint32_t made = 0;
    ASSERT_EQ(process_single_stream(intconv::XFMT_PCM_CONV, encoded, 4, samples, 8, &made, decode_),
              0u);
    EXPECT_EQ(made, 8u);
    const uint8_t wantSamples[8] = {0, 0x12, 0, 0x80, 0, 0xFF, 0, 0x00};
    EXPECT_EQ(std::memcmp(samples, wantSamples, 8), 0);

    uint8_t back[4] = {};
    ASSERT_EQ(process_single_stream(intconv::PCM_YFMT_CONV, samples, 8, back, 4, &made, encode_), 0u);
    EXPECT_EQ(made, 4u);
    EXPECT_EQ(std::memcmp(back, encoded, 4), 0);
}

TEST_F(StreamLayer, CodecFailuresAreConversionErrors) {
    xkrvlog::Capture log;
    const uint8_t src[4] = {};
    uint8_t dst[8] = {};
    uint32_t made = 0;
    state_.failConvert = true;
    EXPECT_EQ(process_single_stream(intconv::XFMT_PCM_CONV, src, 4, dst, 8, &made, decode_), 27u);
    EXPECT_TRUE(log.contains("Error acm stream convert"));
    // The header was unprepared on the way out: the stream takes a new one.
    state_.failConvert = false;
    EXPECT_EQ(process_single_stream(intconv::XFMT_PCM_CONV, src, 4, dst, 8, &made, decode_), 0u);
    EXPECT_EQ(process_single_stream(intconv::PCM_YFMT_CONV, src, 4, dst, 8, &made, HACMSTREAM{}), 27u);
    EXPECT_TRUE(log.contains("Error acm stream prepare"));
    // A type the engine does not serve reaches no engine.
    const int converts = state_.converts;
    EXPECT_EQ(process_single_stream(intconv::AFC_CONV, src, 4, dst, 8, &made, decode_), 12u);
    EXPECT_EQ(process_single_stream(intconv::XFMT_BLOCK_CONV, src, 4, dst, 8, &made, encode_), 12u);
    EXPECT_EQ(process_single_stream(intconv::XFMT_PCM_CONV, src, 4, dst, 8, &made), 12u);
    EXPECT_EQ(state_.converts, converts);
    EXPECT_TRUE(log.contains_error(12, "Invalid conversion type"));
}

TEST_F(StreamLayer, EmptySourceReachesNoEngine) {
    uint32_t made = 99;
    const uint8_t src[1] = {};
    uint8_t dst[1] = {};
    const std::function<uint32_t()> calls[] = {
        [&] { return process_single_stream(intconv::AFC_CONV, src, 0, dst, 1, &made, &afc_); },
        [&] { return process_single_stream(intconv::XFMT_PCM_CONV, src, 0, dst, 1, &made, decode_); },
        [&] { return process_single_stream(intconv::PCM_YFMT_CONV, src, 0, dst, 1, &made, encode_); },
        [&] { return process_single_stream(intconv::XFMT_BLOCK_CONV, src, 0, dst, 1, &made); },
    };
    for (const auto& call : calls) {
        made = 99;
        EXPECT_EQ(call(), 0u);
        EXPECT_EQ(made, 0u);
    }
    EXPECT_EQ(state_.converts, 0);
    // An AFC handle that was never opened is not asked either.
    AFC_HANDLE none = nullptr;
    EXPECT_EQ(process_single_stream(0, src, 0, dst, 1, &made, &none), 0u);
}

TEST_F(StreamLayer, BlockTranscodingKeepsTheFirst24BytesOfEach40) {
    xkrvlog::Capture log;
    uint8_t src[100];
    for (int i = 0; i < 100; ++i) src[i] = static_cast<uint8_t>(i);
    uint8_t dst[64] = {};
    uint32_t made = 0;
    ASSERT_EQ(process_single_stream(3, src, 100, dst, 64, &made), 0u);
    EXPECT_EQ(made, 48u);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(dst[i], i);
        EXPECT_EQ(dst[24 + i], 40 + i);
    }
    EXPECT_TRUE(log.contains("Warning: data in Buffer is not block aligned"));
    ASSERT_EQ(process_single_stream(3, src, 39, dst, 64, &made), 0u);
    EXPECT_EQ(made, 0u);
    EXPECT_EQ(process_single_stream(3, src, 80, dst, 47, &made), 27u)
        << "two blocks do not fit 47 bytes";
}

TEST_F(StreamLayer, PcmStageRunsTheConverterAndEndsItOnFailure) {
    xkrvlog::Capture log;
    std::vector<int16_t> in(400, 1000);
    std::vector<uint8_t> out(400);
    uint32_t made = 0;
    ASSERT_EQ(process_single_stream(0, reinterpret_cast<const uint8_t*>(in.data()), 800, out.data(), 400, &made, &afc_),
              0u);
    EXPECT_EQ(made, 400u);
    EXPECT_TRUE(log.contains("*pdwDstSize_p: "));
    EXPECT_EQ(process_single_stream(0, reinterpret_cast<const uint8_t*>(in.data()), 800, out.data(), 100, &made, &afc_),
              27u);
    EXPECT_TRUE(log.contains_error(303, "Error AFC_streamConvert"));
    EXPECT_EQ(afc_, nullptr) << "the failed converter is gone";
    EXPECT_EQ(process_single_stream(9, reinterpret_cast<const uint8_t*>(in.data()), 800, out.data(), 400, &made, &afc_),
              12u);
}

TEST_F(StreamLayer, SuggestedFormats) {
    xkrvlog::Capture log;
    const WAVEFORMATEX src = toy();
    WAVEFORMATEX dst{};
    ASSERT_EQ(suggest_conv_format(&src, &dst), 0u);
    EXPECT_EQ(uint32_t{dst.wFormatTag}, WAVE_FORMAT_PCM);
    EXPECT_EQ(uint32_t{dst.nSamplesPerSec}, 8000u);
    EXPECT_EQ(int{dst.wBitsPerSample}, 16);

    state_.suggestedExtra = 2;
    WAVEFORMATEX untouched{};
    EXPECT_EQ(suggest_conv_format(&src, &untouched), 12u);
    EXPECT_TRUE(log.contains_error(12, "Suggested format destination buffer too small"));
    EXPECT_EQ(int{untouched.wFormatTag}, 0);

    const WAVEFORMATEX unknown = {0x5555, 1, 8000, 8000, 1, 8, 0};
    EXPECT_EQ(suggest_conv_format(&unknown, &dst), 12u);
    EXPECT_TRUE(log.contains("Error acm format suggest"));
}

TEST(EuklidAlgorithm, GcdLcmAndZeros) {
    xkrvlog::Capture log;
    uint32_t r = 0;
    EXPECT_EQ(InternalEuklidAlgorithm(44100, 8000, 1, &r), 1u);
    EXPECT_EQ(r, 100u);
    EXPECT_EQ(InternalEuklidAlgorithm(8000, 44100, 1, &r), 1u);
    EXPECT_EQ(r, 100u);
    EXPECT_EQ(InternalEuklidAlgorithm(12, 18, 2, &r), 1u);
    EXPECT_EQ(r, 36u);
    EXPECT_EQ(InternalEuklidAlgorithm(7, 7, 0, &r), 1u);
    EXPECT_EQ(r, 7u);
    EXPECT_EQ(InternalEuklidAlgorithm(882, 576, 2, &r), 1u);
    EXPECT_EQ(r, 28224u);  // 2^6 x 3^2 x 7^2
    r = 1234;
    EXPECT_EQ(InternalEuklidAlgorithm(0, 18, 1, &r), 0u);
    EXPECT_EQ(InternalEuklidAlgorithm(12, 0, 2, &r), 0u);
    EXPECT_EQ(r, 1234u);
    EXPECT_TRUE(log.contains("one value is 0"));
    // 65537 x 65539 needs more than 32 bits.
    EXPECT_EQ(InternalEuklidAlgorithm(65537, 65539, 2, &r), 0u);
    EXPECT_EQ(r, 1234u);
}
