#include "platform/media_reader.h"

#include "platform/fileio.h"
#include "platform/id3v2.h"

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}


namespace vkt::media {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct IoFreer {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

// libavformat reads the file through the platform's file layer rather than
// opening the name itself: only a regular file is read (a fifo or a device
// would block or never end), the reader holds a share claim like every other
// reader of the library, and what is read is the file that was checked.
constexpr int kIoBufferSize = 32768;  // as libavformat's own file reading

int read_file(void* opaque, uint8_t* buffer, int size) {
    uint32_t done = 0;
    if (vkt::platform::file_read(static_cast<vkt::platform::File*>(opaque), buffer, static_cast<uint32_t>(size),
                                 &done) != vkt::platform::ERROR_SUCCESS)
        return AVERROR(EIO);
    return done == 0 ? AVERROR_EOF : static_cast<int>(done);
}

int64_t seek_file(void* opaque, int64_t offset, int whence) {
    auto* file = static_cast<vkt::platform::File*>(opaque);
    uint64_t position = 0;
    if (whence & AVSEEK_SIZE) {
        if (vkt::platform::file_size(file, &position) != vkt::platform::ERROR_SUCCESS) return AVERROR(EIO);
        return static_cast<int64_t>(position);
    }
    uint32_t method = vkt::platform::FILE_BEGIN;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET: break;
        case SEEK_CUR: method = vkt::platform::FILE_CURRENT; break;
        case SEEK_END: method = vkt::platform::FILE_END; break;
        default: return AVERROR(EINVAL);
    }
    if (vkt::platform::file_seek(file, offset, method, &position) != vkt::platform::ERROR_SUCCESS)
        return AVERROR(EINVAL);
    return static_cast<int64_t>(position);
}

const AVRational kUnits{1, static_cast<int>(kUnitsPerSecond)};

// The library prints nothing: libavformat's notes on the files it opens
// ("Estimating duration from bitrate", damaged frames) are switched off.
void quiet_libav() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// "ID3/<id>" attributes come from our own tag reader, which gives the frame
// bodies as the media reader reports them.
std::vector<std::vector<uint8_t>> id3_frames_of_file(const std::string& path, const std::string& id) {
    vkt::platform::Id3v2Tag tag;
    if (vkt::platform::read_id3v2_tag(path.c_str(), &tag) != vkt::platform::Id3v2Status::Ok) return {};
    return vkt::platform::id3v2_frame_values(tag, id);
}

}  // namespace

struct MediaReader::Impl {
    std::string path;
    // Destroyed in the reverse order: the format context before its I/O,
    // the I/O before the file.
    vkt::platform::UniqueFile file;
    std::unique_ptr<AVIOContext, IoFreer> io;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<SwrContext, SwrFreer> swr;
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameFreer> frame{av_frame_alloc()};
    int stream_index = -1;
    bool compressed = false;
    int64_t range_start = 0;
    int64_t range_end = 0;  // 0: no end
    int64_t next_time = 0;  // presentation time of the next decoded sample (100 ns)
    bool decoder_drained = false;
    bool demuxer_ended = false;

    AVStream* stream() const { return format->streams[stream_index]; }
    int channels() const { return codec ? codec->ch_layout.nb_channels : 0; }
    int rate() const { return codec ? codec->sample_rate : 0; }

    int64_t to_units(int64_t ts) const {
        if (ts == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
        return av_rescale_q(ts, stream()->time_base, kUnits);
    }

    uint32_t open_decoder() {
        const AVCodecParameters* par = stream()->codecpar;
        const AVCodec* dec = avcodec_find_decoder(par->codec_id);
        if (!dec) return NS_E_INVALID_INPUT_FORMAT;
        codec.reset(avcodec_alloc_context3(dec));
        if (!codec || avcodec_parameters_to_context(codec.get(), par) < 0) return E_FAIL;
        codec->pkt_timebase = stream()->time_base;
        if (avcodec_open2(codec.get(), dec, nullptr) < 0) return NS_E_INVALID_INPUT_FORMAT;
        if (codec->ch_layout.nb_channels <= 0 || codec->sample_rate <= 0) return NS_E_INVALID_INPUT_FORMAT;
        return S_OK;
    }

    uint32_t make_resampler() {
        SwrContext* s = nullptr;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, channels());
        AVChannelLayout in_layout{};
        if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in_layout, channels());
        else
            av_channel_layout_copy(&in_layout, &codec->ch_layout);
        int r = swr_alloc_set_opts2(&s, &layout, AV_SAMPLE_FMT_S16, rate(), &in_layout, codec->sample_fmt, rate(), 0,
                                    nullptr);
        av_channel_layout_uninit(&layout);
        av_channel_layout_uninit(&in_layout);
        if (r < 0 || !s) return E_FAIL;
        swr.reset(s);
        if (swr_init(s) < 0) return E_FAIL;
        return S_OK;
    }

    // Reads the next packet of the selected stream; false at the end.
    bool read_packet() {
        for (;;) {
            av_packet_unref(packet.get());
            if (av_read_frame(format.get(), packet.get()) < 0) return false;
            if (packet->stream_index == stream_index) return true;
        }
    }

    uint32_t seek_to(int64_t start) {
        int64_t ts = av_rescale_q(start, kUnits, stream()->time_base);
        if (stream()->start_time != AV_NOPTS_VALUE && start == 0) ts = stream()->start_time;
        if (av_seek_frame(format.get(), stream_index, ts, AVSEEK_FLAG_BACKWARD) < 0) {
            // Files that cannot seek are read again from the start.
            if (avio_seek(format->pb, 0, SEEK_SET) < 0) return E_FAIL;
            if (avformat_seek_file(format.get(), stream_index, INT64_MIN, 0, 0, 0) < 0) return E_FAIL;
        }
        // A fresh decoder rather than a flushed one: some decoders (wmav2)
        // keep overlap samples across a flush, so the first frames after a
        // seek back to the start would not be those of a first reading.
        if (codec) {
            codec.reset();
            if (uint32_t e = open_decoder(); e != S_OK) return e;
            if (uint32_t e = make_resampler(); e != S_OK) return e;
        }
        decoder_drained = false;
        demuxer_ended = false;
        next_time = AV_NOPTS_VALUE;
        return S_OK;
    }

    uint32_t next_compressed(Sample* out) {
        while (read_packet()) {
            int64_t t = to_units(packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts);
            if (t == AV_NOPTS_VALUE) t = 0;
            if (t < range_start) continue;
            if (range_end != 0 && t >= range_end) break;
            out->data.assign(packet->data, packet->data + packet->size);
            out->time = t;
            out->duration = to_units(packet->duration);
            return S_OK;
        }
        av_packet_unref(packet.get());
        return NS_E_NO_MORE_SAMPLES;
    }

    // Decodes the next frame into interleaved 16-bit PCM; false at the end.
    bool decode_frame(uint32_t* error) {
        *error = S_OK;
        for (;;) {
            int r = avcodec_receive_frame(codec.get(), frame.get());
            if (r == 0) return true;
            if (r == AVERROR_EOF) return false;
            if (r != AVERROR(EAGAIN)) {
                *error = NS_E_DECODE_FAILED;
                return false;
            }
            if (demuxer_ended) {
                if (decoder_drained) return false;
                avcodec_send_packet(codec.get(), nullptr);
                decoder_drained = true;
                continue;
            }
            if (!read_packet()) {
                demuxer_ended = true;
                continue;
            }
            // A damaged packet is dropped; decoding goes on with the next one.
            avcodec_send_packet(codec.get(), packet.get());
        }
    }

    uint32_t next_decoded(Sample* out) {
        const int ch = channels();
        const int bytes_per_frame = 2 * ch;
        for (;;) {
            uint32_t err = S_OK;
            if (!decode_frame(&err)) return err != S_OK ? err : NS_E_NO_MORE_SAMPLES;
            int64_t t = frame->best_effort_timestamp != AV_NOPTS_VALUE ? to_units(frame->best_effort_timestamp)
                                                                         : AV_NOPTS_VALUE;
            if (t == AV_NOPTS_VALUE) t = next_time == AV_NOPTS_VALUE ? 0 : next_time;
            int n = frame->nb_samples;
            std::vector<uint8_t> pcm(static_cast<size_t>(n) * bytes_per_frame);
            uint8_t* outp[1] = {pcm.data()};
            int got = swr_convert(swr.get(), outp, n, const_cast<const uint8_t**>(frame->extended_data), n);
            av_frame_unref(frame.get());
            if (got < 0) return NS_E_DECODE_FAILED;
            pcm.resize(static_cast<size_t>(got) * bytes_per_frame);
            int64_t dur = av_rescale(got, kUnitsPerSecond, rate());
            next_time = t + dur;
            // Cut to the range, sample-exactly.
            int64_t first = 0, last = got;
            if (t < range_start) first = std::min<int64_t>(got, av_rescale(range_start - t, rate(), kUnitsPerSecond));
            if (range_end != 0) {
                if (t >= range_end) return NS_E_NO_MORE_SAMPLES;
                if (t + dur > range_end) last = std::min<int64_t>(got, av_rescale(range_end - t, rate(), kUnitsPerSecond));
            }
            if (last <= first) continue;
            out->data.assign(pcm.begin() + first * bytes_per_frame, pcm.begin() + last * bytes_per_frame);
            out->time = t + av_rescale(first, kUnitsPerSecond, rate());
            out->duration = av_rescale(last - first, kUnitsPerSecond, rate());
            return S_OK;
        }
    }
};

MediaReader::MediaReader() : impl_(std::make_unique<Impl>()) { quiet_libav(); }
MediaReader::~MediaReader() = default;

uint32_t MediaReader::Open(const std::string& path) {
    Close();
    impl_->path = path;
    uint32_t err = 0;
    impl_->file.reset(vkt::platform::file_open(path.c_str(), vkt::platform::GENERIC_READ,
                                               vkt::platform::FILE_SHARE_READ, vkt::platform::OPEN_EXISTING, 0, &err));
    if (!impl_->file) return NS_E_FILE_OPEN_FAILED;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) {
        Close();
        return E_FAIL;
    }
    impl_->io.reset(avio_alloc_context(buffer, kIoBufferSize, 0, impl_->file.get(), read_file, nullptr, seek_file));
    AVFormatContext* ctx = impl_->io ? avformat_alloc_context() : nullptr;
    if (!ctx) {
        if (!impl_->io) av_free(buffer);
        Close();
        return E_FAIL;
    }
    ctx->pb = impl_->io.get();
    // The name still guides the probe, as it does for a file opened by name;
    // on failure the context is freed by the call.
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) {
        Close();
        return NS_E_INVALID_INPUT_FORMAT;
    }
    impl_->format.reset(ctx);
    if (avformat_find_stream_info(ctx, nullptr) < 0) {
        Close();
        return NS_E_INVALID_INPUT_FORMAT;
    }
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            impl_->stream_index = static_cast<int>(i);
            break;
        }
    }
    if (impl_->stream_index < 0) {
        Close();
        return NS_E_NO_AUDIO_STREAM;
    }
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (static_cast<int>(i) != impl_->stream_index) ctx->streams[i]->discard = AVDISCARD_ALL;
    if (uint32_t e = impl_->open_decoder(); e != S_OK) {
        Close();
        return e;
    }
    if (uint32_t e = impl_->make_resampler(); e != S_OK) {
        Close();
        return e;
    }
    impl_->range_start = impl_->range_end = 0;
    impl_->next_time = AV_NOPTS_VALUE;
    return S_OK;
}

void MediaReader::Close() {
    impl_->swr.reset();
    impl_->codec.reset();
    impl_->format.reset();
    impl_->io.reset();
    impl_->file.reset();
    impl_->stream_index = -1;
    impl_->compressed = false;
    impl_->decoder_drained = impl_->demuxer_ended = false;
}

bool MediaReader::IsOpen() const { return impl_->format != nullptr; }

uint16_t MediaReader::StreamNumber() const {
    return impl_->stream_index < 0 ? 0 : static_cast<uint16_t>(impl_->stream_index + 1);
}

WAVEFORMATEX MediaReader::OutputFormat() const {
    WAVEFORMATEX wfx{};
    if (!IsOpen()) return wfx;
    const AVCodecParameters* par = impl_->stream()->codecpar;
    const uint16_t ch = static_cast<uint16_t>(impl_->channels());
    const uint32_t rate = static_cast<uint32_t>(impl_->rate());
    if (impl_->compressed) {
        wfx.wFormatTag = par->codec_id == AV_CODEC_ID_MP3 ? WAVE_FORMAT_MPEGLAYER3 : static_cast<uint16_t>(par->codec_tag);
        wfx.nChannels = ch;
        wfx.nSamplesPerSec = rate;
        wfx.nAvgBytesPerSec = static_cast<uint32_t>(par->bit_rate / 8);
        wfx.nBlockAlign = par->block_align > 0 ? static_cast<uint16_t>(par->block_align) : 1;
        wfx.wBitsPerSample = 0;
        return wfx;
    }
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = ch;
    wfx.nSamplesPerSec = rate;
    wfx.nBlockAlign = static_cast<uint16_t>(2 * ch);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    wfx.wBitsPerSample = 16;
    wfx.cbSize = 0;
    return wfx;
}

int64_t MediaReader::Duration() const {
    if (!IsOpen()) return 0;
    if (impl_->format->duration != AV_NOPTS_VALUE && impl_->format->duration > 0)
        return av_rescale(impl_->format->duration, kUnitsPerSecond, AV_TIME_BASE);
    if (impl_->stream()->duration != AV_NOPTS_VALUE) return impl_->to_units(impl_->stream()->duration);
    return 0;
}

uint32_t MediaReader::SetReadStreamSamples(bool compressed) {
    if (!IsOpen()) return NS_E_NOT_OPENED;
    impl_->compressed = compressed;
    return S_OK;
}

uint32_t MediaReader::SetRange(int64_t start, int64_t duration) {
    if (!IsOpen()) return NS_E_NOT_OPENED;
    if (start < 0 || duration < 0) return E_INVALIDARG;
    impl_->range_start = start;
    impl_->range_end = duration == 0 ? 0 : start + duration;
    return impl_->seek_to(start);
}

uint32_t MediaReader::GetNextSample(Sample* sample) {
    if (!IsOpen()) return NS_E_NOT_OPENED;
    if (!sample) return E_INVALIDARG;
    return impl_->compressed ? impl_->next_compressed(sample) : impl_->next_decoded(sample);
}

std::vector<std::vector<uint8_t>> MediaReader::GetAttribute(const std::string& name) const {
    std::vector<std::vector<uint8_t>> values;
    if (!IsOpen()) return values;
    if (name == "Duration") {
        int64_t d = Duration();
        std::vector<uint8_t> v(8);
        std::memcpy(v.data(), &d, 8);
        values.push_back(v);
    } else if (name.rfind("ID3/", 0) == 0) {
        values = id3_frames_of_file(impl_->path, name.substr(4));
    }
    return values;
}

}  // namespace vkt::media
