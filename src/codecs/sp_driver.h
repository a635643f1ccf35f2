// The standard-play codec (tag 0x0121 with 42-byte blocks, 12000 or 8000
// blocks a second). Decoding runs each block through libavcodec's DSS SP
// decoder, which gives 264 samples a frame, and then through a polyphase
// rate converter that makes exactly the frame's share of the requested PCM
// rate out of them. Encoding needs a frame encoder plugged in.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/acm.h"

namespace vkt::codecs {

// Turns 288 samples at the block's own rate (12000 or 8000 a second) into
// one stored 41-byte frame, in block order: the bytes as they follow each
// other in a data block once its pairs are swapped back.
class SpFrameEncoder {
public:
    virtual ~SpFrameEncoder() = default;
    virtual void encode(const int16_t* samples, uint8_t* frame) = 0;
};
using SpEncoderFactory = std::unique_ptr<SpFrameEncoder> (*)(uint32_t block_rate);

inline constexpr uint32_t kSpFrameBytes = 41;
inline constexpr uint32_t kSpEncoderSamples = 288;
inline constexpr uint32_t kSpDecodedSamples = 264;  // what the decoder gives per frame
inline constexpr uint32_t kSpDecodedRate = 11000;   // 264 samples in 24 ms

class SpDriver : public acm::Driver {
public:
    // Without a factory, encode streams do not open (ACMERR_NOTPOSSIBLE).
    explicit SpDriver(SpEncoderFactory encoder = nullptr) : encoder_(encoder) {}

    const char* name() const override { return "dss-sp"; }
    MMRESULT open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) override;
    MMRESULT suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) override;

private:
    SpEncoderFactory encoder_;
};

// Packet order of the DSS SP decoder from a 42-byte codec block: every pair
// of bytes swapped.
void sp_block_to_packet(const uint8_t* block, uint8_t* packet);

// True for a codec block holding a 9-byte frame of compression id 1: the
// file reader marks that id's blocks with 1 in their last byte, and bit 7 of
// the frame's first byte is clear. What such a frame codes is not known
// here; it decodes as a frame of silence.
bool is_sp_short_frame(const uint8_t* block);

}  // namespace vkt::codecs
