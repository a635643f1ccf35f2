#include "codecs/qp_driver.h"

#include <cstring>

#include "codecs/block_stream.h"
#include "codecs/codec_formats.h"
#include "codecs/qp_codec.h"

namespace vkt::codecs {

namespace {

class QpDecodeStream : public BlockStream {
public:
    QpDecodeStream() : BlockStream(kQpBlock, 2 * kQpSamples, true) {}

protected:
    MMRESULT convert_unit(const uint8_t* in, uint8_t* out) override {
        int16_t samples[kQpSamples];
        if (qp_frame_intact(in)) {
            decoder_.decode(in, samples);
            if (passed_ < kTrusted) ++passed_;
        } else if (passed_ < kTrusted) {
            return kQpForeignFrames;
        } else {
            decoder_.conceal(samples);
        }
        std::memcpy(out, samples, sizeof samples);
        return MMSYSERR_NOERROR;
    }

private:
    static constexpr int kTrusted = 2;  // frames that must pass before failures are concealed
    QpDecoder decoder_;
    int passed_ = 0;
};

class QpEncodeStream : public BlockStream {
public:
    QpEncodeStream() : BlockStream(2 * kQpSamples, kQpBlock, false) {}

protected:
    MMRESULT convert_unit(const uint8_t* in, uint8_t* out) override {
        int16_t samples[kQpSamples];
        std::memcpy(samples, in, sizeof samples);
        coded_ = encoder_.encode(samples, out);
        if (coded_) out[kQpFrameBytes] = 0;
        return MMSYSERR_NOERROR;
    }
    uint32_t produced() const override { return coded_ ? kQpBlock : 0; }

    MMRESULT flush(uint8_t* dst, uint32_t dst_length, uint32_t* dst_used) override {
        *dst_used = 0;
        if (!encoder_.pending()) return MMSYSERR_NOERROR;
        if (dst_length < kQpBlock || !dst) return MMSYSERR_INVALPARAM;
        encoder_.flush(dst);
        dst[kQpFrameBytes] = 0;
        *dst_used = kQpBlock;
        return MMSYSERR_NOERROR;
    }

private:
    QpEncoder encoder_;
    bool coded_ = false;
};

}  // namespace

MMRESULT QpDriver::open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) {
    if (is_qp_format(src) && is_mono_pcm16(dst) && dst.nSamplesPerSec == kQpRate) {
        *stream = std::make_unique<QpDecodeStream>();
        return MMSYSERR_NOERROR;
    }
    if (is_mono_pcm16(src) && src.nSamplesPerSec == kQpRate && is_qp_format(dst)) {
        *stream = std::make_unique<QpEncodeStream>();
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT QpDriver::suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) {
    if (!is_qp_format(src)) return ACMERR_NOTPOSSIBLE;
    *dst = pcm_format(kQpRate);
    return MMSYSERR_NOERROR;
}

}  // namespace vkt::codecs
