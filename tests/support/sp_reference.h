// Reference decodings of standard play: libavcodec fed our frames, and ffmpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvkt_test {

// Decodes 41-byte SP frames (block order) with libavcodec's dss_sp decoder:
// one 42-byte packet per frame, the codec block (frame and a zero byte)
// with its 21 byte pairs swapped. 264 samples per frame.
std::vector<int16_t> decode_sp_frames(const std::vector<std::vector<uint8_t>>& frames);

// The samples `ffmpeg` decodes from a file (16-bit, first channel layout as
// it gives it); raw_path is a scratch file for its output.
std::vector<int16_t> decode_with_ffmpeg(const std::string& file, const std::string& raw_path);

}  // namespace orvkt_test
