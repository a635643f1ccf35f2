// MP3 and WMA to WAV beyond the table of conversions: the media reader's
// conversion (ORVKTWMFConvertToWAV) with the dictation header, the encoder
// delay ffmpeg drops, truncated files, and the channels of stereo sources.
#include "convert/conv_files.h"
#include "trace/xkrvlog_capture.h"

using namespace orvkt_test;
using namespace conv_test;

TEST(WmfConvertToWav, DecodesTheSpeechAndCarriesHeaderAndMarkers) {
    TempDir tmp;
    const std::string out = tmp.path("out.wav");
    WAVEFORMATEX written{};
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_header.mp3").c_str(), out.c_str(), &written, nullptr, 0), 0u);
    const auto wav = parse_wav(out);
    EXPECT_EQ(unpack(written), unpack(pcm_format(16000)));
    EXPECT_EQ(wav.format, unpack(written));
    EXPECT_GT(rms(wav.samples()), 300.0) << "speech, not silence";
    // Headers 1 and 2 of the image sit in the ICMT sub-chunk as stored;
    // the markers of header 3 arrive as well.
    const Bytes image = read_bytes(data_path("dictation_header.bin"));
    const std::string list(wav.list.begin(), wav.list.end());
    const size_t icmt = list.find("ICMT");
    ASSERT_NE(icmt, std::string::npos);
    ASSERT_GE(wav.list.size() - icmt, 8u + 1024u);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 1024, wav.list.begin() + static_cast<long>(icmt + 8)));
    uint8_t markers[256];
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(out.c_str(), markers), 0u);
    EXPECT_EQ(marker_list(markers), (Markers{{1000, 2500}, {5000, 6000}}));

    // Without our private frame: no header chunks, and the trace says so.
    xkrvlog::Capture trace;
    ASSERT_EQ(ORVKTWMFConvertToWAV(data_path("speech_mono.mp3").c_str(), out.c_str(), nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(contains(read_bytes(out), "ICMT") || contains(read_bytes(out), "IKEY"));
    EXPECT_TRUE(trace.contains("no dictation header copied from the source"));
    ZRM2HeaderInfo h{};
    h.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    EXPECT_EQ(ORVKTReadZRM2Header(data_path("speech_mono.mp3").c_str(), &h), VKT_ERR_NO_ID3_HEADER);
    EXPECT_NE(ORVKTReadZRM2Header(out.c_str(), &h), VKT_OK);
}

TEST(WmfConvertToWav, TheEncoderDelayOfALameInfoFrameIsDroppedAsFfmpegDoes) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    // The stereo fixture starts with LAME's info frame: ffprobe's duration
    // (1.907 s) counts the encoder's delay and padding, which decoders drop
    // (ffmpeg decodes 1.831 s). Our reader drops the same samples.
    TempDir tmp;
    const std::string src = data_path("speech_stereo.mp3"), out = tmp.path("stereo.wav"), raw = tmp.path("ff.raw");
    ASSERT_EQ(ORVKTWMFConvertToWAV(src.c_str(), out.c_str(), nullptr, nullptr, 0), 0u);
    const auto wav = parse_wav(out);
    ASSERT_EQ(run_command("ffmpeg -v error -i " + shell_quote(src) + " -f s16le " + shell_quote(raw)).status, 0);
    EXPECT_EQ(wav.data.size(), read_bytes(raw).size());
    EXPECT_LT(static_cast<double>(wav.data.size()) / wav.format.nAvgBytesPerSec,
              ffprobe_duration(src) - 2 * 576.0 / 22050);
}

TEST(WmfConvertToWav, ATruncatedMp3ConvertsWhatItHolds) {
    TempDir tmp;
    Bytes file = read_bytes(data_path("speech_mono.mp3"));
    // Cut in the middle of a frame (frames are 108 bytes here: 24 kbit/s at 16000/s).
    file.resize(file.size() / 2 + 37);
    write_bytes(tmp.path("cut.mp3"), file);
    ASSERT_EQ(ORVKTWMFConvertToWAV(tmp.path("cut.mp3").c_str(), tmp.path("cut.wav").c_str(), nullptr, nullptr, 0), 0u);
    EXPECT_NEAR(parse_wav(tmp.path("cut.wav")).data.size() / 32000.0, 1.908 / 2, 0.15);
}

// Mono from a stereo source: MP3 mixes the channels (L/2 + R/2, each halved
// toward zero), WMA keeps the first one (the fixture's second is silent).
TEST(MediaToWav, MonoFromStereoSources) {
    struct Row {
        const char* source;
        Export how;
        uint32_t rate;
        int16_t (*mono)(int16_t left, int16_t right);
    };
    const Row rows[] = {
        {"speech_stereo.mp3", Export::Mp3ToWav, 22050, [](int16_t l, int16_t r) { return int16_t(l / 2 + r / 2); }},
        {"speech_stereo.wma", Export::WmaToWav, 16000, [](int16_t l, int16_t) { return l; }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.source);
        TempDir tmp;
        // Both channels as the reader decodes them.
        ASSERT_EQ(convert(Export::MediaToWav, data_path(r.source), tmp.path("both.wav"), {}), 0u);
        ASSERT_EQ(convert(r.how, data_path(r.source), tmp.path("mono.wav"), pcm_format(r.rate)), 0u);
        const ParsedWav both = parse_wav(tmp.path("both.wav")), mono = parse_wav(tmp.path("mono.wav"));
        ASSERT_EQ(both.format.nChannels, 2);
        EXPECT_EQ(mono.format, unpack(pcm_format(r.rate)));
        const auto s = both.samples(), m = mono.samples();
        ASSERT_EQ(m.size() * 2, s.size());
        size_t differ = 0;
        for (size_t i = 0; i < m.size(); ++i) differ += m[i] != r.mono(s[2 * i], s[2 * i + 1]);
        EXPECT_EQ(differ, 0u);
        EXPECT_GT(rms(m), 150.0);
        EXPECT_FALSE(contains(read_bytes(tmp.path("mono.wav")), "ICMT")) << "these carry no dictation header";
    }
}
