// The quality-play format (tag 0x0121 at 16000 samples/s, 57-byte blocks):
// our own codec in both directions, 512 PCM bytes to one block and back. A
// block is the 56-byte frame and a last byte the decoder ignores.
#pragma once

#include <memory>

#include "platform/acm.h"

namespace vkt::codecs {

class QpDriver : public acm::Driver {
public:
    const char* name() const override { return "quality-play"; }
    MMRESULT open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) override;
    MMRESULT suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) override;
};

}  // namespace vkt::codecs
