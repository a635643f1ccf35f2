// The quality-play speech codec: 256 samples at 16000 a second in, one
// 56-byte frame out, and back. An MDCT (blocks overlapping by 192 samples)
// whose band levels are sent first; quantiser steps, probability models and
// noise filling follow from those levels and one global step index on both
// sides. Every frame is coded on its own (nothing is predicted from earlier
// frames), so a recording cut at any frame decodes from there at full
// quality, and every frame ends with a check byte. The frame layout is
// described in qp_bitstream.txt beside this file.
#pragma once

#include <array>
#include <cstdint>

#include "codecs/mdct.h"

namespace vkt::codecs {

inline constexpr int kQpSamples = 256;
inline constexpr int kQpFrameBytes = 56;
inline constexpr int kQpPayloadBytes = kQpFrameBytes - 1;  // the last byte is the check
inline constexpr int kQpBands = 25;
// The version of the frame format this library writes; it seeds the check,
// so frames of another version fail it.
inline constexpr uint8_t kQpFormatVersion = 3;
// Input samples the encoder needs beyond a frame before it can code that
// frame: it hands out frame n once frame n + 1 has come in, and the last
// frame when the stream ends (flush). The decoder has no delay: frame n
// decodes into exactly the samples of frame n.
inline constexpr int kQpLookahead = 192;

// True when the frame's check byte matches its 55 payload bytes, i.e. the
// frame was written by this codec (in this format version) and is intact.
bool qp_frame_intact(const uint8_t* frame);

class QpEncoder {
public:
    QpEncoder();
    // Takes the next 256 samples. Writes the previous frame's 56 bytes and
    // returns true, or returns false on the first call.
    bool encode(const int16_t* samples, uint8_t* frame);
    // At the end of the input: writes the frame still held back (the signal
    // taken as silent beyond the end) and returns true, or false when there
    // is none.
    bool flush(uint8_t* frame);
    // True while a frame is held back.
    bool pending() const { return holding_; }

private:
    void code_block(uint8_t* frame);

    Mdct mdct_;
    // The input from the start of the held frame's transform block to the
    // newest sample: the block (512) and the 32 samples after it.
    std::array<float, 2 * kQpSamples + (kQpSamples - kQpLookahead) / 2> input_{};
    bool holding_ = false;
    std::array<float, 2 * kQpSamples> windowed_{};
    std::array<float, kQpSamples> coef_{};
    uint32_t counter_ = 0;  // number of the next frame, modulo 16
};

class QpDecoder {
public:
    QpDecoder();
    // 56 bytes in (the check byte is not looked at: see qp_frame_intact);
    // 256 samples out.
    void decode(const uint8_t* frame, int16_t* samples);
    // Stands in for a frame that cannot be used: the previous frame's
    // overlap fades out, the rest is silence.
    void conceal(int16_t* samples);

private:
    void synthesize(int16_t* samples);

    Mdct mdct_;
    std::array<float, 2 * kQpSamples> overlap_{};
    std::array<float, kQpSamples> coef_{};
    std::array<float, 2 * kQpSamples> block_{};
    uint32_t seed_ = 0x2545F491u;
    uint32_t expected_ = 0;  // the number the next frame has when it follows on
};

}  // namespace vkt::codecs
