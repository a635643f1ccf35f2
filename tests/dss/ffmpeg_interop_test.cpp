// A DSS file written through CDssFile is read by a real peer: the ffmpeg
// tool decodes it, and its samples must equal those of libavcodec's dss_sp
// decoder fed the same frames directly. This pins the data-block layout, the
// pair swap and frames running across block boundaries.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <random>

#include "dss/CDSSFILE.h"
#include "dss_bytes.h"
#include "support/test_support.h"

using namespace dss_test;
using namespace vkt::platform;
using orvkt_test::read_bytes;
using orvkt_test::run_command;
using orvkt_test::shell_quote;
using orvkt_test::TempDir;

namespace {

constexpr int kSamplesPerFrame = 264;

// Decodes 41-byte SP frames with libavcodec: one 42-byte packet per frame,
// the codec block (frame and a zero byte) with its 21 byte pairs swapped.
std::vector<int16_t> decode_directly(const std::vector<Bytes>& frames) {
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
    for (const Bytes& f : frames) {
        Bytes block = codec_block(f, 42);
        for (size_t i = 0; i < 42; i += 2) std::swap(block[i], block[i + 1]);
        EXPECT_EQ(av_new_packet(packet, 42), 0);
        std::memcpy(packet->data, block.data(), 42);
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

}  // namespace

TEST(FfmpegPeer, DecodesOurDssFileLikeTheDecoderFedDirectly) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    TempDir tmp;
    const std::string path = tmp.path("peer.dss");
    // Random 41-byte frames are valid SP bitstreams for this decoder. 150
    // frames fill twelve data blocks; frame boundaries fall at every offset.
    std::mt19937 random(20240611);
    std::vector<Bytes> frames(150, Bytes(41));
    for (auto& f : frames)
        for (auto& b : f) b = static_cast<uint8_t>(random());
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 2;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false), 0u);
        // The peer wants the recording's end date and time as digits.
        std::memcpy(dss.m_pDssFileHeader.get() + 50, "240611093000", 12);
        for (const Bytes& f : frames) {
            Bytes c = codec_block(f, 42);
            dss.transfer_from_buffer_to_file(c.data(), 42);
        }
        dss.flush_out_block();
        ASSERT_EQ(dss.closing_work(), 0u);
    }

    const std::string raw = tmp.path("peer.raw");
    auto r = run_command("ffmpeg -nostdin -v error -i " + shell_quote(path) + " -f s16le -acodec pcm_s16le -y " +
                         shell_quote(raw));
    ASSERT_EQ(r.status, 0) << r.output;
    const Bytes bytes = read_bytes(raw);
    std::vector<int16_t> from_ffmpeg(bytes.size() / 2);
    std::memcpy(from_ffmpeg.data(), bytes.data(), from_ffmpeg.size() * 2);

    const std::vector<int16_t> direct = decode_directly(frames);
    ASSERT_EQ(direct.size(), frames.size() * kSamplesPerFrame);
    // The peer also decodes the zero padding of the last block as frames.
    ASSERT_GE(from_ffmpeg.size(), direct.size());
    from_ffmpeg.resize(direct.size());
    size_t differing = 0;
    for (size_t i = 0; i < direct.size(); ++i) differing += from_ffmpeg[i] != direct[i];
    EXPECT_EQ(differing, 0u) << "of " << direct.size() << " samples";
    int16_t peak = 0;
    for (int16_t s : direct) peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
    EXPECT_GT(peak, 100) << "the frames decode to sound, not silence";
}
