#include "codecs/av_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace vkt::codecs {

namespace {

int16_t from_float(float v) {
    const float scaled = std::nearbyint(v * 32768.0f);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// Appends one decoded frame as interleaved 16-bit samples.
void append_frame(const AVFrame* f, int channels, std::vector<int16_t>& out) {
    const int n = f->nb_samples;
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const size_t base = out.size();
    out.resize(base + size_t(n) * channels);
    int16_t* dst = out.data() + base;
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < channels; ++c) {
            int16_t v = 0;
            switch (fmt) {
            case AV_SAMPLE_FMT_S16: v = reinterpret_cast<const int16_t*>(f->data[0])[i * channels + c]; break;
            case AV_SAMPLE_FMT_S16P: v = reinterpret_cast<const int16_t*>(f->data[c])[i]; break;
            case AV_SAMPLE_FMT_FLT: v = from_float(reinterpret_cast<const float*>(f->data[0])[i * channels + c]); break;
            case AV_SAMPLE_FMT_FLTP: v = from_float(reinterpret_cast<const float*>(f->data[c])[i]); break;
            case AV_SAMPLE_FMT_S32: v = static_cast<int16_t>(reinterpret_cast<const int32_t*>(f->data[0])[i * channels + c] >> 16); break;
            case AV_SAMPLE_FMT_S32P: v = static_cast<int16_t>(reinterpret_cast<const int32_t*>(f->data[c])[i] >> 16); break;
            default: break;
            }
            dst[size_t(i) * channels + c] = v;
        }
    }
}

// The library prints nothing: libavcodec's complaints about damaged frames
// (which the drivers handle) are switched off.
void quiet_libav() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace

std::unique_ptr<AvDecoder> AvDecoder::open(AVCodecID id, int channels, int sample_rate, const char* name) {
    quiet_libav();
    const AVCodec* codec = name ? avcodec_find_decoder_by_name(name) : nullptr;
    if (!codec) codec = avcodec_find_decoder(id);
    if (!codec) return nullptr;
    auto d = std::unique_ptr<AvDecoder>(new AvDecoder);
    d->ctx_.reset(avcodec_alloc_context3(codec));
    d->frame_.reset(av_frame_alloc());
    d->packet_.reset(av_packet_alloc());
    if (!d->ctx_ || !d->frame_ || !d->packet_) return nullptr;
    av_channel_layout_default(&d->ctx_->ch_layout, channels);
    d->ctx_->sample_rate = sample_rate;
    if (avcodec_open2(d->ctx_.get(), codec, nullptr) < 0) return nullptr;
    return d;
}

int AvDecoder::channels() const { return ctx_->ch_layout.nb_channels; }
int AvDecoder::sample_rate() const { return ctx_->sample_rate; }

bool AvDecoder::drain(std::vector<int16_t>& out) {
    while (true) {
        const int r = avcodec_receive_frame(ctx_.get(), frame_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return false;
        append_frame(frame_.get(), frame_->ch_layout.nb_channels > 0 ? frame_->ch_layout.nb_channels : channels(),
                     out);
        av_frame_unref(frame_.get());
    }
}

bool AvDecoder::decode(const uint8_t* data, size_t size, std::vector<int16_t>& out) {
    if (av_new_packet(packet_.get(), static_cast<int>(size)) < 0) return false;
    std::memcpy(packet_->data, data, size);
    const int r = avcodec_send_packet(ctx_.get(), packet_.get());
    av_packet_unref(packet_.get());
    if (r < 0 && r != AVERROR(EAGAIN)) {
        drain(out);
        return false;
    }
    return drain(out);
}

std::unique_ptr<AvEncoder> AvEncoder::open(AVCodecID id, int channels, int sample_rate, int64_t bit_rate) {
    quiet_libav();
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec) return nullptr;
    auto e = std::unique_ptr<AvEncoder>(new AvEncoder);
    e->ctx_.reset(avcodec_alloc_context3(codec));
    e->frame_.reset(av_frame_alloc());
    e->packet_.reset(av_packet_alloc());
    if (!e->ctx_ || !e->frame_ || !e->packet_) return nullptr;
    av_channel_layout_default(&e->ctx_->ch_layout, channels);
    e->ctx_->sample_rate = sample_rate;
    e->ctx_->sample_fmt = AV_SAMPLE_FMT_S16;
    e->ctx_->bit_rate = bit_rate;
    if (avcodec_open2(e->ctx_.get(), codec, nullptr) < 0) return nullptr;
    e->frame_->nb_samples = e->ctx_->frame_size;
    e->frame_->format = AV_SAMPLE_FMT_S16;
    e->frame_->sample_rate = sample_rate;
    if (av_channel_layout_copy(&e->frame_->ch_layout, &e->ctx_->ch_layout) < 0) return nullptr;
    if (av_frame_get_buffer(e->frame_.get(), 0) < 0) return nullptr;
    return e;
}

int AvEncoder::frame_size() const { return ctx_->frame_size; }

bool AvEncoder::encode(const int16_t* samples, std::vector<std::vector<uint8_t>>& packets) {
    if (av_frame_make_writable(frame_.get()) < 0) return false;
    frame_->pts = pts_;
    pts_ += frame_size();
    std::memcpy(frame_->data[0], samples, size_t(frame_size()) * ctx_->ch_layout.nb_channels * sizeof(int16_t));
    if (avcodec_send_frame(ctx_.get(), frame_.get()) < 0) return false;
    while (true) {
        const int r = avcodec_receive_packet(ctx_.get(), packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return false;
        packets.emplace_back(packet_->data, packet_->data + packet_->size);
        av_packet_unref(packet_.get());
    }
}

}  // namespace vkt::codecs
