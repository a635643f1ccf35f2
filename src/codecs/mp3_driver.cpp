#include "codecs/mp3_driver.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "codecs/av_codec.h"
#include "codecs/codec_formats.h"

namespace vkt::codecs {

namespace {

constexpr uint32_t kMaxFrameSamples = 1152;

struct ParserClose {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};

bool is_mp3(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_MPEGLAYER3 && (f.nChannels == 1 || f.nChannels == 2) && f.nSamplesPerSec > 0 &&
           f.nSamplesPerSec <= 48000 && f.nAvgBytesPerSec > 0;
}

bool is_pcm_partner(const WAVEFORMATEX& mp3, const WAVEFORMATEX& pcm) {
    return pcm.wFormatTag == WAVE_FORMAT_PCM && pcm.wBitsPerSample == 16 && pcm.nChannels == mp3.nChannels &&
           pcm.nSamplesPerSec == mp3.nSamplesPerSec && pcm.nBlockAlign == 2 * mp3.nChannels;
}

class Mp3DecodeStream : public acm::CodecStream {
public:
    Mp3DecodeStream(std::unique_ptr<AvDecoder> decoder, AVCodecParserContext* parser, AVCodecContext* parse_context,
                    const WAVEFORMATEX& mp3)
        : decoder_(std::move(decoder)), parser_(parser), parse_context_(parse_context), format_(mp3) {}

    // The decoded size follows the byte rate of the record; a margin of two
    // frames covers frames cut across calls and bit-rate changes, and output
    // that still does not fit waits for the next call.
    MMRESULT size(uint32_t bytes, uint32_t flags, uint32_t* result) override {
        const uint64_t pcm_per_second = uint64_t(format_.nSamplesPerSec) * 2 * format_.nChannels;
        const uint64_t margin = 2ull * kMaxFrameSamples * 2 * format_.nChannels;
        uint64_t out;
        if (flags == ACM_STREAMSIZEF_SOURCE)
            out = uint64_t(bytes) * pcm_per_second / format_.nAvgBytesPerSec + margin;
        else
            out = uint64_t(bytes) * format_.nAvgBytesPerSec / pcm_per_second;
        if (out > UINT32_MAX) return MMSYSERR_INVALPARAM;
        *result = static_cast<uint32_t>(out);
        return MMSYSERR_NOERROR;
    }

    MMRESULT convert(const uint8_t* src, uint32_t src_length, uint8_t* dst, uint32_t dst_length, uint32_t* src_used,
                     uint32_t* dst_used) override {
        *src_used = 0;
        *dst_used = 0;
        if ((src_length && !src) || (dst_length && !dst)) return MMSYSERR_INVALPARAM;
        const uint8_t* p = src;
        uint32_t left = src_length;
        while (left > 0) {
            uint8_t* frame = nullptr;
            int frame_size = 0;
            const int used = av_parser_parse2(parser_.get(), parse_context_.get(), &frame, &frame_size, p,
                                              static_cast<int>(left), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) break;
            p += used;
            left -= static_cast<uint32_t>(used);
            if (frame_size > 0) {
                decoded_.clear();
                // A damaged frame is skipped, as players do.
                decoder_->decode(frame, static_cast<size_t>(frame_size), decoded_);
                pending_.insert(pending_.end(), decoded_.begin(), decoded_.end());
            }
            if (used == 0 && frame_size == 0) break;
        }
        *src_used = src_length;
        const uint32_t frame_bytes = 2 * format_.nChannels;
        const size_t fit = std::min<size_t>(pending_.size(), dst_length / frame_bytes * format_.nChannels);
        for (size_t i = 0; i < fit; ++i) {
            const int16_t v = pending_[i];
            std::memcpy(dst + 2 * i, &v, 2);
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(fit));
        *dst_used = static_cast<uint32_t>(2 * fit);
        return MMSYSERR_NOERROR;
    }

private:
    std::unique_ptr<AvDecoder> decoder_;
    std::unique_ptr<AVCodecParserContext, ParserClose> parser_;
    std::unique_ptr<AVCodecContext, AvCodecContextFree> parse_context_;  // what the parser learns goes here
    WAVEFORMATEX format_;
    std::vector<int16_t> decoded_;
    std::deque<int16_t> pending_;  // decoded samples that did not fit yet
};

}  // namespace

MMRESULT Mp3Driver::open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, std::unique_ptr<acm::CodecStream>* stream) {
    if (!is_mp3(src) || !is_pcm_partner(src, dst)) return ACMERR_NOTPOSSIBLE;
    auto decoder = AvDecoder::open(AV_CODEC_ID_MP3, src.nChannels, static_cast<int>(src.nSamplesPerSec), "mp3");
    std::unique_ptr<AVCodecParserContext, ParserClose> parser(av_parser_init(AV_CODEC_ID_MP3));
    std::unique_ptr<AVCodecContext, AvCodecContextFree> parse_context(avcodec_alloc_context3(nullptr));
    if (!decoder || !parser || !parse_context) return MMSYSERR_NOTSUPPORTED;
    *stream = std::make_unique<Mp3DecodeStream>(std::move(decoder), parser.release(), parse_context.release(), src);
    return MMSYSERR_NOERROR;
}

MMRESULT Mp3Driver::suggest(const WAVEFORMATEX& src, WAVEFORMATEX* dst) {
    if (!is_mp3(src)) return ACMERR_NOTPOSSIBLE;
    *dst = {WAVE_FORMAT_PCM, src.nChannels, src.nSamplesPerSec, src.nSamplesPerSec * 2 * src.nChannels,
            static_cast<uint16_t>(2 * src.nChannels), 16, 0};
    return MMSYSERR_NOERROR;
}

}  // namespace vkt::codecs
