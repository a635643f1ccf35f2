// The SP driver with a plugged frame encoder: blocks are filled frame by
// frame with the encoder's state kept, at the block's own rate only.
#include "codecs/sp_driver.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec_test_util.h"
#include "codecs/codec_formats.h"

using namespace vkt::codecs;

namespace {
// Stands in for a real frame encoder: writes the first samples' low bytes.
class MarkingEncoder : public SpFrameEncoder {
public:
    void encode(const int16_t* samples, uint8_t* frame) override {
        for (uint32_t i = 0; i < kSpFrameBytes; ++i) frame[i] = static_cast<uint8_t>(samples[i] + calls_);
        ++calls_;
    }

private:
    int calls_ = 0;
};
std::unique_ptr<SpFrameEncoder> make_marking(uint32_t) { return std::make_unique<MarkingEncoder>(); }
}  // namespace

TEST(SpDriver, APluggedFrameEncoderFillsBlocks) {
    vkt::acm::ScopedDriver scoped(std::make_shared<SpDriver>(&make_marking));
    auto stream = codec_test::open_stream(pcm_format(12000), sp_format(12000));
    ASSERT_TRUE(stream);
    std::vector<int16_t> pcm(288 * 2);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(i);
    auto blocks = codec_test::run_stream(stream.get(), codec_test::to_bytes(pcm), 576, 42);
    ASSERT_EQ(blocks.size(), 84u);
    EXPECT_EQ(blocks[40], 40);
    EXPECT_EQ(blocks[41], 0);                 // the block's trailing byte
    EXPECT_EQ(blocks[42], (288 + 1) & 0xFF);  // second frame, second call: state kept
    // Only at the block's own rate.
    EXPECT_FALSE(codec_test::open_stream(pcm_format(11025), sp_format(12000)));
}
