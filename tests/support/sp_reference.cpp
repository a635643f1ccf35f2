#include "support/sp_reference.h"

#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "support/test_support.h"

namespace orvkt_test {

std::vector<int16_t> decode_sp_frames(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<int16_t> samples;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DSS_SP);
    if (!codec) {
        ADD_FAILURE() << "libavcodec has no dss_sp decoder";
        return samples;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* out = av_frame_alloc();
    EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
    EXPECT_EQ(ctx->sample_fmt, AV_SAMPLE_FMT_S16);
    for (const auto& f : frames) {
        EXPECT_EQ(av_new_packet(packet, 42), 0);
        std::memset(packet->data, 0, 42);
        std::memcpy(packet->data, f.data(), std::min<size_t>(f.size(), 41));
        for (int i = 0; i < 42; i += 2) std::swap(packet->data[i], packet->data[i + 1]);
        EXPECT_EQ(avcodec_send_packet(ctx, packet), 0);
        av_packet_unref(packet);
        while (avcodec_receive_frame(ctx, out) == 0) {
            const auto* s = reinterpret_cast<const int16_t*>(out->data[0]);
            samples.insert(samples.end(), s, s + out->nb_samples);
        }
    }
    av_frame_free(&out);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return samples;
}

std::vector<int16_t> decode_with_ffmpeg(const std::string& file, const std::string& raw_path) {
    auto r = run_command("ffmpeg -nostdin -v error -i " + shell_quote(file) + " -f s16le -acodec pcm_s16le -y " +
                         shell_quote(raw_path));
    EXPECT_EQ(r.status, 0) << file << ": " << r.output;
    const auto bytes = read_bytes(raw_path);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

}  // namespace orvkt_test
