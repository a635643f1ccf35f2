// The length of an MP3 or WMA recording, as the library states it and as its
// decoding holds it, lies within one codec frame of ffprobe's duration.
#include <gtest/gtest.h>

#include "OrvaneVktapi.h"
#include "convert/conv_files.h"
#include "support/test_support.h"

using namespace orvkt_test;
using namespace conv_test;

TEST(PeerLength, WithinOneFrameOfFfprobe) {
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("ffprobe");
    TempDir tmp;
    // Layer III frames at 16000/s (MPEG-2) are 576 samples; wmav2 frames 2048.
    const std::string sine = ffmpeg_make(tmp, "sine.mp3",
                                         "-f lavfi -i sine=frequency=440:sample_rate=16000:duration=5 "
                                         "-c:a libmp3lame -b:a 32k -write_xing 0");
    ASSERT_FALSE(sine.empty());
    const struct {
        std::string path;
        double frame_seconds;
    } rows[] = {
        {data_path("speech_mono.mp3"), 576.0 / 16000},   {data_path("speech_header.mp3"), 576.0 / 16000},
        {sine, 576.0 / 16000},                           {data_path("speech_mono.wma"), 2048.0 / 16000},
        {data_path("speech_stereo.wma"), 2048.0 / 16000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        const double probed = ffprobe_duration(r.path);
        ASSERT_GT(probed, 0);
        uint32_t ms = 0;
        ASSERT_EQ(ORVKTWAVGetSndDataLength(r.path.c_str(), &ms), VKT_OK);
        EXPECT_NEAR(ms / 1000.0, probed, r.frame_seconds) << "stated length";
        const std::string out = tmp.path("decoded.wav");
        ASSERT_EQ(ORVKTWMFConvertToWAV(r.path.c_str(), out.c_str(), nullptr, nullptr, 0), VKT_OK);
        const auto wav = parse_wav(out);
        ASSERT_TRUE(wav.ok);
        EXPECT_NEAR(static_cast<double>(wav.data.size()) / wav.format.nAvgBytesPerSec, probed, r.frame_seconds)
            << "decoded length";
        std::remove(out.c_str());
    }
}
