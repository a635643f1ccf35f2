// The quality-play format (tag 0x0121 at 16000 samples/s, 57-byte blocks):
// our own codec in both directions, 512 PCM bytes to one block and back. A
// block is the 56-byte frame and a last byte the decoder ignores.
//
// Decoding refuses frames that fail their check until two frames have
// passed it: quality play recorded by a device uses another codec, and its
// frames would decode into noise. The stream then answers
// kQpForeignFrames (MMSYSERR_NOTSUPPORTED). Once frames of our own have
// passed, a frame that fails is concealed (silence) instead.
//
// Encoding holds one frame back (the codec's look-ahead): the first block
// comes out with the second frame of PCM, the last one when the stream is
// converted with ACM_STREAMCONVERTF_END.
#pragma once

#include <memory>

#include "platform/acm.h"

namespace vkt::codecs {

inline constexpr MMRESULT kQpForeignFrames = MMSYSERR_NOTSUPPORTED;

class QpDriver : public acm::Driver {
public:
    const char* name() const override { return "quality-play"; }
    MMRESULT open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) override;
    MMRESULT suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) override;
};

}  // namespace vkt::codecs
