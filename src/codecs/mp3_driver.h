// MPEG layer 3 in WAV files (tag 0x0055): decoding through libavcodec into
// 16-bit PCM of the stream's own rate and channels. The stream takes bytes in
// any cut; frames that run across two calls are put together by a parser.
#pragma once

#include <memory>

#include "platform/acm.h"

namespace vkt::codecs {

class Mp3Driver : public acm::Driver {
public:
    const char* name() const override { return "mp3"; }
    MMRESULT open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) override;
    MMRESULT suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) override;
    // The MPEG layer 3 record: 18 bytes and 12 of its own.
    uint32_t max_format_size() const override { return 30; }
};

}  // namespace vkt::codecs
