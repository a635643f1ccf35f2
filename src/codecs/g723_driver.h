// The long-play codec (tag 0xFFFC, 8000 samples/s, 25-byte blocks): G.723.1
// through libavcodec in both directions. A codec block holds the stored
// frame (24 bytes at 6.3 kbit/s, 4 for a silence descriptor) with its byte
// pairs swapped against the codec's packet order, then zero bytes.
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

}  // namespace vkt::codecs
