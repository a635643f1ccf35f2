// The codec manager over registered drivers: open, size, the prepare /
// convert / unprepare protocol, suggestions and metrics.
#include "platform/acm.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vkt::acm;

namespace {

WAVEFORMATEX pcm(uint32_t rate) { return {WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0}; }
WAVEFORMATEX toy() { return {0x7777, 1, 8000, 1000, 4, 0, 0}; }

// Packs pairs of 16-bit samples into 4-byte blocks that hold the sum of
// everything seen so far, so that lost state shows.
class ToyStream : public CodecStream {
public:
    MMRESULT size(uint32_t bytes, uint32_t flags, uint32_t* result) override {
        *result = flags == ACM_STREAMSIZEF_SOURCE ? bytes / 4 * 4 : bytes / 4 * 4;
        return 0;
    }
    MMRESULT convert(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t cap, uint32_t* used,
                     uint32_t* made) override {
        uint32_t blocks = std::min(n / 4, cap / 4);
        for (uint32_t b = 0; b < blocks; ++b) {
            int16_t s[2];
            std::memcpy(s, src + 4 * b, 4);
            total_ += s[0] + s[1];
            std::memcpy(dst + 4 * b, &total_, 4);
        }
        *used = blocks * 4;
        *made = blocks * 4;
        return 0;
    }

private:
    int32_t total_ = 0;
};

class ToyDriver : public Driver {
public:
    const char* name() const override { return "toy"; }
    MMRESULT open(const WAVEFORMATEX& s, const WAVEFORMATEX& d, std::unique_ptr<CodecStream>* out) override {
        if (s.wFormatTag != WAVE_FORMAT_PCM || d.wFormatTag != 0x7777) return ACMERR_NOTPOSSIBLE;
        *out = std::make_unique<ToyStream>();
        return 0;
    }
    MMRESULT suggest(const WAVEFORMATEX& s, WAVEFORMATEX* d) override {
        if (s.wFormatTag != 0x7777) return ACMERR_NOTPOSSIBLE;
        *d = pcm(8000);
        return 0;
    }
    uint32_t max_format_size() const override { return 60; }
};

}  // namespace

TEST(CodecManager, RegisteredDriverStreamKeepsStateAcrossConverts) {
    ScopedDriver scoped(std::make_shared<ToyDriver>());
    WAVEFORMATEX s = pcm(8000), d = toy();
    HACMSTREAM h = nullptr;
    ASSERT_EQ(acmStreamOpen(&h, nullptr, &s, &d, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), 0u);
    UniqueStream stream(h);

    int16_t in[4] = {1, 2, 3, 4};
    int32_t result[2] = {};
    ACMSTREAMHEADER hdr{};
    hdr.cbStruct = sizeof hdr;
    hdr.pbSrc = reinterpret_cast<uint8_t*>(in);
    hdr.cbSrcLength = 6;  // one whole block and a half
    hdr.pbDst = reinterpret_cast<uint8_t*>(result);
    hdr.cbDstLength = sizeof result;
    EXPECT_EQ(acmStreamConvert(h, &hdr, 0), ACMERR_UNPREPARED) << "convert needs a prepared header";
    ASSERT_EQ(acmStreamPrepareHeader(h, &hdr, 0), 0u);
    ASSERT_EQ(acmStreamConvert(h, &hdr, 0), 0u);
    EXPECT_EQ(hdr.cbSrcLengthUsed, 4u);
    EXPECT_EQ(hdr.cbDstLengthUsed, 4u);
    EXPECT_EQ(result[0], 3);
    hdr.pbSrc = reinterpret_cast<uint8_t*>(in + 2);
    hdr.cbSrcLength = 4;
    ASSERT_EQ(acmStreamConvert(h, &hdr, 0), 0u);
    EXPECT_EQ(result[0], 10) << "the second call continues the first one's state";
    ASSERT_EQ(acmStreamUnprepareHeader(h, &hdr, 0), 0u);
    EXPECT_EQ(acmStreamUnprepareHeader(h, &hdr, 0), ACMERR_UNPREPARED);

    WAVEFORMATEX sug{};
    EXPECT_NE(acmFormatSuggest(nullptr, &d, &sug, 10, 0), 0u) << "buffer smaller than a format record";
}
