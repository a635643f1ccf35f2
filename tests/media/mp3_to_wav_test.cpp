// The media reader's conversion (ORVKTWMFConvertToWAV) against ffmpeg.
#include "convert/conv_files.h"

using namespace orvkt_test;
using namespace conv_test;

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

