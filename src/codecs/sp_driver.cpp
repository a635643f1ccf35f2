#include "codecs/sp_driver.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/av_codec.h"
#include "codecs/block_stream.h"
#include "codecs/codec_formats.h"
#include "codecs/polyphase_resampler.h"

namespace vkt::codecs {

void sp_block_to_packet(const uint8_t* block, uint8_t* packet) {
    for (uint32_t i = 0; i < kSpBlock; i += 2) {
        packet[i] = block[i + 1];
        packet[i + 1] = block[i];
    }
}

bool is_sp_short_frame(const uint8_t* block) { return block[kSpBlock - 1] == 1 && (block[0] & 0x80) == 0; }

namespace {

bool is_sp(const WAVEFORMATEX& f) { return is_sp_format(f); }

class SpDecodeStream : public BlockStream {
public:
    SpDecodeStream(std::unique_ptr<AvDecoder> decoder, uint32_t block_rate, uint32_t pcm_rate)
        : BlockStream(kSpBlock, 2 * sp_samples_per_frame(block_rate, pcm_rate), true),
          decoder_(std::move(decoder)),
          out_samples_(sp_samples_per_frame(block_rate, pcm_rate)),
          // The 264 decoded samples fill the frame's time: their rate is the
          // frame's output count scaled to 264 per frame.
          resampler_(kSpDecodedSamples, out_samples_) {
        // No delay in the output: sample m of the PCM is the decoder's
        // signal at m frames' time / out_samples_. The first frame gives
        // fewer samples; the stream's end (flush) gives the rest.
        resampler_.align_to_input();
        decoded_.reserve(2 * kSpDecodedSamples);
        resampled_.reserve(2 * out_samples_);
    }

protected:
    MMRESULT convert_unit(const uint8_t* in, uint8_t* out) override {
        decoded_.clear();
        // A block the decoder refuses still takes its place in time, as
        // silence; so does a 9-byte frame, whose content is not known here.
        if (!is_sp_short_frame(in)) {
            uint8_t packet[kSpBlock];
            sp_block_to_packet(in, packet);
            decoder_->decode(packet, sizeof packet, decoded_);
        }
        decoded_.resize(kSpDecodedSamples, 0);
        resampled_.clear();
        resampler_.process(decoded_.data(), decoded_.size(), resampled_);
        // 264 samples in give out_samples_ out once the pipeline is full
        // (whole periods of the converter); the guard only keeps the block
        // size if that ever changed.
        if (resampled_.size() > out_samples_) resampled_.resize(out_samples_);
        std::memcpy(out, resampled_.data(), 2 * resampled_.size());
        produced_ = static_cast<uint32_t>(2 * resampled_.size());
        owed_ += out_samples_ - resampled_.size();
        return MMSYSERR_NOERROR;
    }
    uint32_t produced() const override { return produced_; }

    // The samples the filter still holds: silence after the last frame
    // pushes them out, up to the frames' full share.
    MMRESULT flush(uint8_t* dst, uint32_t dst_length, uint32_t* dst_used) override {
        *dst_used = 0;
        if (owed_ == 0) return MMSYSERR_NOERROR;
        if (!dst || dst_length / 2 < owed_) return MMSYSERR_INVALPARAM;
        decoded_.assign(resampler_.taps_per_phase() + 1, 0);
        resampled_.clear();
        resampler_.process(decoded_.data(), decoded_.size(), resampled_);
        resampled_.resize(owed_, 0);
        std::memcpy(dst, resampled_.data(), 2 * resampled_.size());
        *dst_used = static_cast<uint32_t>(2 * resampled_.size());
        owed_ = 0;
        return MMSYSERR_NOERROR;
    }

private:
    std::unique_ptr<AvDecoder> decoder_;
    uint32_t out_samples_;
    PolyphaseResampler resampler_;
    std::vector<int16_t> decoded_;
    std::vector<int16_t> resampled_;
    uint32_t produced_ = 0;
    size_t owed_ = 0;  // samples the frames so far are owed
};

class SpEncodeStream : public BlockStream {
public:
    explicit SpEncodeStream(std::unique_ptr<SpFrameEncoder> encoder)
        : BlockStream(2 * kSpEncoderSamples, kSpBlock, false), encoder_(std::move(encoder)) {}

protected:
    MMRESULT convert_unit(const uint8_t* in, uint8_t* out) override {
        int16_t samples[kSpEncoderSamples];
        std::memcpy(samples, in, sizeof samples);
        std::memset(out, 0, kSpBlock);
        encoder_->encode(samples, out);
        return MMSYSERR_NOERROR;
    }

private:
    std::unique_ptr<SpFrameEncoder> encoder_;
};

}  // namespace

MMRESULT SpDriver::open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) {
    if (is_sp(src) && is_mono_pcm16(dst)) {
        // Rates whose frame share would be 0 samples have no PCM block.
        if (sp_samples_per_frame(src.nSamplesPerSec, dst.nSamplesPerSec) == 0) return ACMERR_NOTPOSSIBLE;
        auto decoder = AvDecoder::open(AV_CODEC_ID_DSS_SP, 1, 11025);
        if (!decoder) return MMSYSERR_NOTSUPPORTED;
        // make_unique takes references: copy the packed fields first.
        const uint32_t block_rate = src.nSamplesPerSec, pcm_rate = dst.nSamplesPerSec;
        *stream = std::make_unique<SpDecodeStream>(std::move(decoder), block_rate, pcm_rate);
        return MMSYSERR_NOERROR;
    }
    if (is_mono_pcm16(src) && is_sp(dst) && src.nSamplesPerSec == dst.nSamplesPerSec) {
        if (!encoder_) return ACMERR_NOTPOSSIBLE;
        auto encoder = encoder_(dst.nSamplesPerSec);
        if (!encoder) return ACMERR_NOTPOSSIBLE;
        *stream = std::make_unique<SpEncodeStream>(std::move(encoder));
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT SpDriver::suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) {
    if (!is_sp(src)) return ACMERR_NOTPOSSIBLE;
    *dst = pcm_format(src.nSamplesPerSec);
    return MMSYSERR_NOERROR;
}

}  // namespace vkt::codecs
