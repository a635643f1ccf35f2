#include "codecs/dss_sp_frame_encoder.h"

#include "codecs/dss_sp_encoder.h"

namespace vkt::codecs {

namespace {

class DssSpFrameEncoder : public SpFrameEncoder {
public:
    explicit DssSpFrameEncoder(int rate) : encoder_(rate) {}
    void encode(const int16_t* samples, uint8_t* frame) override { encoder_.encode(samples, frame); }

private:
    DssSpEncoder encoder_;
};

}  // namespace

std::unique_ptr<SpFrameEncoder> make_dss_sp_encoder(uint32_t block_rate) {
    static_assert(kSpEncoderSamples == dss_sp::kFrameLength && kSpFrameBytes == dss_sp::kFrameBytes);
    if (block_rate != 12000 && block_rate != 8000) return nullptr;
    return std::make_unique<DssSpFrameEncoder>(static_cast<int>(block_rate));
}

}  // namespace vkt::codecs
