// The quality-play speech codec: 256 samples at 16000 a second in, one
// 56-byte frame out, and back. A low-overlap MDCT whose band energies are
// sent first; quantiser steps, probability models and noise filling follow
// from those energies and one global step index on both sides. The frame
// layout is described in qp_bitstream.txt beside this file.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "codecs/mdct.h"

namespace vkt::codecs {

inline constexpr int kQpSamples = 256;
inline constexpr int kQpFrameBytes = 56;
inline constexpr int kQpBands = 26;
// Decoded sample k is input sample k - kQpDelay: the first kQpDelay samples
// of a stream decode as silence, the last kQpDelay input samples are still
// inside the transform's overlap when the stream ends.
inline constexpr int kQpDelay = 128;

// The state both sides carry from frame to frame besides the transform's.
struct QpBandState {
    std::array<int, kQpBands> level{};  // band levels of the previous frame
    uint32_t frames = 0;                // frames coded so far
};

class QpEncoder {
public:
    QpEncoder();
    // 256 samples in; 56 bytes out.
    void encode(const int16_t* samples, uint8_t* frame);

private:
    Mdct mdct_;
    std::array<float, 2 * kQpSamples> block_{};
    std::array<float, kQpSamples> coef_{};
    std::array<float, 2 * kQpSamples> windowed_{};
    QpBandState state_;
};

class QpDecoder {
public:
    QpDecoder();
    // 56 bytes in (bytes beyond are not read); 256 samples out.
    void decode(const uint8_t* frame, int16_t* samples);

private:
    Mdct mdct_;
    std::array<float, 2 * kQpSamples> overlap_{};
    std::array<float, kQpSamples> coef_{};
    std::array<float, 2 * kQpSamples> block_{};
    QpBandState state_;
    uint32_t seed_ = 0x2545F491u;
};

}  // namespace vkt::codecs
