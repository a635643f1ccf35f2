// The MP3 frame-header parser against hand-made headers and ffmpeg's files.
#include "media/mp3_file.h"

#include "convert/conv_files.h"
#include "trace/xkrvlog_capture.h"

using namespace orvkt_test;

namespace {

// MPEG-1 layer III, 128 kbit/s, 44100/s, no padding, joint stereo: FF FB 90 44.
std::vector<uint8_t> frame(uint8_t b2 = 0x90, uint8_t b3 = 0x44) {
    uint8_t h[4] = {0xFF, 0xFB, b2, b3};
    std::vector<uint8_t> f(CMp3File::frame_length(h), 0x55);
    std::copy(h, h + 4, f.begin());
    return f;
}

}  // namespace

TEST(Mp3Header, ValidityAndFrameLengths) {
    const uint8_t mpeg1_l3[4] = {0xFF, 0xFB, 0x90, 0x44};
    EXPECT_TRUE(CMp3File::check_frame_header(mpeg1_l3));
    EXPECT_EQ(CMp3File::frame_length(mpeg1_l3), 417u);  // 128 * 144000 / 44100
    const uint8_t padded[4] = {0xFF, 0xFB, 0x92, 0x44};
    EXPECT_EQ(CMp3File::frame_length(padded), 418u);
    const uint8_t mpeg2_l3_16k_32k[4] = {0xFF, 0xF3, 0x48, 0xC4};  // MPEG-2, 32 kbit/s, 16000/s
    EXPECT_TRUE(CMp3File::check_frame_header(mpeg2_l3_16k_32k));
    EXPECT_EQ(CMp3File::frame_length(mpeg2_l3_16k_32k), 144u);  // 32 * 72000 / 16000
    const uint8_t reserved_version[4] = {0xFF, 0xEB, 0x90, 0x44};
    const uint8_t reserved_layer[4] = {0xFF, 0xF9, 0x90, 0x44};
    const uint8_t free_bitrate[4] = {0xFF, 0xFB, 0x00, 0x44};
    const uint8_t bad_bitrate[4] = {0xFF, 0xFB, 0xF0, 0x44};
    const uint8_t bad_rate[4] = {0xFF, 0xFB, 0x9C, 0x44};
    const uint8_t no_sync[4] = {0xFF, 0xDB, 0x90, 0x44};
    for (const uint8_t* h : {reserved_version, reserved_layer, free_bitrate, bad_bitrate, bad_rate, no_sync}) {
        xkrvlog::Capture trace;
        EXPECT_FALSE(CMp3File::check_frame_header(h));
        EXPECT_TRUE(trace.contains("No framesync found"));
    }
}

TEST(Mp3File, FramesBetweenTheTagsAreCountedAndNoFrameFailsToOpen) {
    TempDir tmp;
    std::vector<uint8_t> file = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x01, 0x00};  // 128-byte tag
    file.resize(138, 0xFF);
    file[21] = 0xFB;  // FF FB 90 inside the tag: a false sync that must not count
    file[22] = 0x90;
    for (int i = 0; i < 10; ++i) {
        auto f = frame(i % 2 ? 0xB0 : 0x90, 0xC4);  // 128 and 192 kbit/s, mono
        file.insert(file.end(), f.begin(), f.end());
    }
    const std::vector<uint8_t> v1 = {'T', 'A', 'G'};
    file.insert(file.end(), v1.begin(), v1.end());
    file.resize(file.size() + 125, 0);
    write_bytes(tmp.path("t.mp3"), file);
    CMp3File mp3;
    ASSERT_EQ(mp3.create_file(tmp.path("t.mp3").c_str()), 0u);
    EXPECT_EQ(mp3.GetTotalNrOfFrames(), 10u);
    EXPECT_EQ(mp3.GetLengthInMs(), 260u);  // 1152 samples at 44100/s: 26 ms a frame
    EXPECT_TRUE(mp3.IsVariableBitrate());
    WAVEFORMATEX wfx[2] = {};
    EXPECT_EQ(mp3.read_format(wfx, 16), static_cast<uint32_t>(VKT_ERR_WAVFMT_TOO_SMALL));
    ASSERT_EQ(mp3.read_format(wfx, 18), 0u);
    // The first frame's 128 kbit/s.
    EXPECT_EQ(conv_test::unpack(wfx[0]), (conv_test::Format{WAVE_FORMAT_MPEGLAYER3, 1, 44100, 16000, 1, 0, 12}));
    // No frame at all is an open failure.
    write_bytes(tmp.path("x.mp3"), std::vector<uint8_t>(5000, 0x11));
    write_bytes(tmp.path("empty.mp3"), {});
    for (const char* name : {"x.mp3", "none.mp3", "empty.mp3"}) {
        CMp3File none;
        EXPECT_EQ(none.create_file(tmp.path(name).c_str()), static_cast<uint32_t>(VKT_ERR_OPEN_FILE)) << name;
    }
}
