// The quantizer tables of the DSS standard-play bitstream, as the decoder
// reads them: reflection-coefficient codebooks, the fixed and adaptive
// codebook gains and the pulse levels.
#pragma once

#include <array>
#include <cstdint>

namespace vkt::codecs::dss_sp {

inline constexpr int kOrder = 14;           // reflection coefficients per frame
inline constexpr int kSubframes = 4;
inline constexpr int kSubframeLength = 72;  // excitation samples per subframe
inline constexpr int kFrameLength = kSubframes * kSubframeLength;  // 288
inline constexpr int kPulses = 7;           // fixed-codebook pulses per subframe
inline constexpr int kFrameBytes = 41;      // one stored frame
inline constexpr int kBlockBytes = 42;      // codec block: the frame and a zero byte
inline constexpr int kMinLag = 36;
inline constexpr int kMaxLag = 186;
inline constexpr int kLagDeltas = 48;       // coded lag offsets of subframes 1 to 3

// Bits of each reflection-coefficient index; a codebook holds 2^bits entries.
inline constexpr std::array<int, kOrder> kFilterBits = {5, 5, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3};

// Reflection coefficients, Q15; row i serves coefficient i (entries past
// 2^kFilterBits[i] are never used and hold 0).
extern const int16_t kReflectionCodebook[kOrder][32];

// Fixed-codebook gains (64) and pulse levels (8): a pulse adds
// (gain * level + 0x4000) >> 15 to its excitation sample.
extern const std::array<int16_t, 64> kFixedGain;
extern const std::array<int16_t, 8> kPulseLevel;

// Adaptive-codebook gains, Q11 (2048 = 1.0).
extern const std::array<int16_t, 32> kAdaptiveGain;

}  // namespace vkt::codecs::dss_sp
