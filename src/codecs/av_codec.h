// Small owners of libavcodec decoders and encoders for the drivers: packets
// in, 16-bit interleaved samples out, and the other way round.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vkt::codecs {

struct AvCodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

class AvDecoder {
public:
    // A decoder by codec id (or by name first, when given), for the stated
    // channels and rate. Null when libavcodec has no such decoder.
    static std::unique_ptr<AvDecoder> open(AVCodecID id, int channels, int sample_rate, const char* name = nullptr);

    // Decodes one packet and appends what it yields as interleaved 16-bit
    // samples. False when the decoder refused the packet.
    bool decode(const uint8_t* data, size_t size, std::vector<int16_t>& out);

    int channels() const;
    int sample_rate() const;

private:
    bool drain(std::vector<int16_t>& out);

    std::unique_ptr<AVCodecContext, AvCodecContextFree> ctx_;
    std::unique_ptr<AVFrame, AvFrameFree> frame_;
    std::unique_ptr<AVPacket, AvPacketFree> packet_;
};

class AvEncoder {
public:
    // A 16-bit encoder by codec id; null when unavailable or the parameters
    // are refused.
    static std::unique_ptr<AvEncoder> open(AVCodecID id, int channels, int sample_rate, int64_t bit_rate);

    // Samples per frame the encoder takes.
    int frame_size() const;
    // Encodes one frame of frame_size() samples per channel and appends the
    // packets it yields. False on an encoder error.
    bool encode(const int16_t* samples, std::vector<std::vector<uint8_t>>& packets);

private:
    std::unique_ptr<AVCodecContext, AvCodecContextFree> ctx_;
    std::unique_ptr<AVFrame, AvFrameFree> frame_;
    std::unique_ptr<AVPacket, AvPacketFree> packet_;
    int64_t pts_ = 0;
};

}  // namespace vkt::codecs
