#include "codecs/g723_driver.h"

#include <cstring>
#include <vector>

#include "codecs/av_codec.h"
#include "codecs/block_stream.h"
#include "codecs/codec_formats.h"

namespace vkt::codecs {

namespace {

constexpr uint32_t kFrameBytes = 24;

// Swaps the byte pairs of the first `count` bytes (count even).
void swap_pairs(const uint8_t* in, uint8_t* out, uint32_t count) {
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        out[i] = in[i + 1];
        out[i + 1] = in[i];
    }
}

class G723DecodeStream : public BlockStream {
public:
    explicit G723DecodeStream(std::unique_ptr<AvDecoder> decoder)
        : BlockStream(kLpBlock, 2 * kLpFrameSamples, true), decoder_(std::move(decoder)) {
        decoded_.reserve(2 * kLpFrameSamples);
    }

protected:
    MMRESULT convert_unit(const uint8_t* in, uint8_t* out) override {
        uint8_t packet[kFrameBytes];
        swap_pairs(in, packet, kFrameBytes);
        decoded_.clear();
        // A refused frame keeps its 30 ms as silence.
        decoder_->decode(packet, lp_packet_size(in, packet), decoded_);
        decoded_.resize(kLpFrameSamples, 0);
        std::memcpy(out, decoded_.data(), 2 * kLpFrameSamples);
        return MMSYSERR_NOERROR;
    }

private:
    std::unique_ptr<AvDecoder> decoder_;
    std::vector<int16_t> decoded_;
};

class G723EncodeStream : public BlockStream {
public:
    explicit G723EncodeStream(std::unique_ptr<AvEncoder> encoder)
        : BlockStream(2 * kLpFrameSamples, kLpBlock, false), encoder_(std::move(encoder)) {}

protected:
    MMRESULT convert_unit(const uint8_t* in, uint8_t* out) override {
        int16_t samples[kLpFrameSamples];
        std::memcpy(samples, in, sizeof samples);
        packets_.clear();
        if (!encoder_->encode(samples, packets_) || packets_.size() != 1 || packets_[0].size() > kFrameBytes)
            return MMSYSERR_ERROR;
        uint8_t packet[kFrameBytes] = {};
        std::memcpy(packet, packets_[0].data(), packets_[0].size());
        std::memset(out, 0, kLpBlock);
        swap_pairs(packet, out, kFrameBytes);
        return MMSYSERR_NOERROR;
    }

private:
    std::unique_ptr<AvEncoder> encoder_;
    std::vector<std::vector<uint8_t>> packets_;
};

}  // namespace

uint32_t lp_packet_size(const uint8_t* block, uint8_t* packet) {
    // The file reader marks blocks of compression id 3 with 1 in their last
    // byte; there a set bit 1 in the second byte (block order) says the
    // stored frame is 4 bytes: a silence descriptor, whatever its low bit.
    if (block[kLpBlock - 1] == 1 && (block[1] & 0x02)) {
        packet[0] = static_cast<uint8_t>((packet[0] & ~3u) | 2u);
        return 4;
    }
    return g723_packet_size(packet[0]);
}

uint32_t g723_packet_size(uint8_t first_byte) {
    static constexpr uint32_t sizes[4] = {24, 20, 4, 1};
    return sizes[first_byte & 3];
}

MMRESULT G723Driver::open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) {
    if (is_lp_format(src) && is_mono_pcm16(dst) && dst.nSamplesPerSec == 8000) {
        auto decoder = AvDecoder::open(AV_CODEC_ID_G723_1, 1, 8000);
        if (!decoder) return MMSYSERR_NOTSUPPORTED;
        *stream = std::make_unique<G723DecodeStream>(std::move(decoder));
        return MMSYSERR_NOERROR;
    }
    if (is_mono_pcm16(src) && src.nSamplesPerSec == 8000 && is_lp_format(dst)) {
        auto encoder = AvEncoder::open(AV_CODEC_ID_G723_1, 1, 8000, 6300);
        if (!encoder || encoder->frame_size() != int(kLpFrameSamples)) return MMSYSERR_NOTSUPPORTED;
        *stream = std::make_unique<G723EncodeStream>(std::move(encoder));
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT G723Driver::suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) {
    if (!is_lp_format(src)) return ACMERR_NOTPOSSIBLE;
    *dst = pcm_format(8000);
    return MMSYSERR_NOERROR;
}

}  // namespace vkt::codecs
