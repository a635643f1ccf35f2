// The long-play codec (tag 0xFFFC, 8000 samples/s, 25-byte blocks): G.723.1
// through libavcodec in both directions. A codec block holds the stored
// frame (24 bytes at 6.3 kbit/s, 4 for a silence descriptor) with its byte
// pairs swapped against the codec's packet order, then zero bytes (the last
// one 1 for compression id 3).
#pragma once

#include <memory>

#include "platform/acm.h"

namespace vkt::codecs {

class G723Driver : public acm::Driver {
public:
    const char* name() const override { return "g723.1"; }
    MMRESULT open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) override;
    MMRESULT suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) override;
};

// Bytes of a G.723.1 packet by its frame type (the low two bits of its
// first byte): 24 (6.3 kbit/s), 20 (5.3 kbit/s), 4 (silence descriptor), 1.
uint32_t g723_packet_size(uint8_t first_byte);

// The packet the decoder gets from a codec block (block order) and its
// pair-swapped packet: a 4-byte frame of compression id 3 (the block's last
// byte is 1 and bit 1 of its second byte is set) is a silence descriptor,
// passed as such (4 bytes, frame type 2), from which the decoder makes
// comfort noise; any other frame goes by its own frame type.
uint32_t lp_packet_size(const uint8_t* block, uint8_t* packet);

}  // namespace vkt::codecs
