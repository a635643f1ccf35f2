// The fields of one DSS standard-play frame and their 41-byte layout.
//
// A frame is read most significant bit first, in block order (the order of
// the bytes after a data block's byte pairs were swapped back):
//   14 reflection-coefficient indices (5, 5, 4 x6, 3 x6 bits),
//   per subframe: adaptive gain (5), pulse positions (31), fixed gain (6),
//                 7 pulse levels (3 each),
//   the four pitch lags (24).
// 52 + 4 x 63 + 24 = 328 bits = 41 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codecs/dss_sp_tables.h"

namespace vkt::codecs::dss_sp {

struct SubframeParams {
    uint8_t adaptive_gain = 0;  // index into kAdaptiveGain
    uint8_t fixed_gain = 0;     // index into kFixedGain
    // Pulse positions 0..71, strictly descending; level[i] belongs to position[i].
    std::array<uint8_t, kPulses> position = {6, 5, 4, 3, 2, 1, 0};
    std::array<uint8_t, kPulses> level = {};  // indices into kPulseLevel
};

struct FrameParams {
    std::array<uint8_t, kOrder> filter = {};  // indices into kReflectionCodebook
    std::array<int, kSubframes> lag = {kMinLag, kMinLag, kMinLag, kMinLag};
    std::array<SubframeParams, kSubframes> sub = {};
};

// Pulse positions in the combinatorial number system: with the positions
// p0 > p1 > ... > p6, the code is the sum of C(p_i, 7 - i). Codes run from
// 0 to C(72, 7) - 1 and fit in 31 bits.
inline constexpr uint32_t kPositionCodes = 1473109704u;  // C(72, 7)
uint32_t combine_positions(const std::array<uint8_t, kPulses>& descending);
// False (and `descending` unspecified) for codes of C(72, 7) and above, which
// the decoder would read in a different, stateful way.
bool split_positions(uint32_t code, std::array<uint8_t, kPulses>* descending);

// The lowest lag subframe j+1 can code, given the lag of subframe j; the
// coded offset runs from 0 to 47 above it.
constexpr int lag_base(int previous_lag) {
    if (previous_lag > 162) return 139;
    return previous_lag - 23 < kMinLag ? kMinLag : previous_lag - 23;
}
// Whether the four lags are codable.
bool lags_codable(const std::array<int, kSubframes>& lag);
// The 24-bit combined pitch: (lag0 - 36) + 151 * (d1 + 48 * (d2 + 48 * d3)).
uint32_t combine_lags(const std::array<int, kSubframes>& lag);
// False for values whose lags would leave the decoder's history.
bool split_lags(uint32_t combined, std::array<int, kSubframes>* lag);

// Writes the 41 bytes of a frame. Field values must be in range and
// the positions descending and codable; the lags codable.
void pack_frame(const FrameParams& params, uint8_t frame[kFrameBytes]);
// Reads a frame; false when its pulse or pitch codes are out of range.
bool unpack_frame(const uint8_t frame[kFrameBytes], FrameParams* params);

// The 42-byte codec block of a stored frame: the frame and a zero byte.
void codec_block(const uint8_t frame[kFrameBytes], uint8_t block[kBlockBytes]);
// The packet libavcodec's dss_sp decoder reads: the codec block with each of
// its 21 byte pairs swapped, as the pairs lie in a file's data block.
void decoder_packet(const uint8_t frame[kFrameBytes], uint8_t packet[kBlockBytes]);

}  // namespace vkt::codecs::dss_sp
