// The wave formats of the dictation codecs, per compression identifier of a
// DSS or DS2 file: the codec side as the codec manager opens it and the PCM
// side one stored frame decodes into.
#pragma once

#include <cstdint>
#include <optional>

#include "OrvaneVktapi.h"

namespace vkt::codecs {

struct DictationFormat {
    WAVEFORMATEX codec;        // 1 channel, 0 bits per sample, cbSize 0
    WAVEFORMATEX pcm;          // 1 channel, 16 bits
    uint32_t pcm_block_bytes;  // PCM bytes of one codec block (one stored frame)
};

// 16-bit mono PCM at `rate`.
WAVEFORMATEX pcm_format(uint32_t rate);

// The formats for a compression identifier (0 to 7 except 5). `pcm_rate` is
// the caller's rate for identifiers 0 and 1 and ignored for the others.
// Empty for identifiers that have no codec.
std::optional<DictationFormat> dictation_format(uint8_t compression_id, uint32_t pcm_rate = 12000);

// PCM samples one standard-play frame (tag 0x0121 at 12000 or 8000 blocks a
// second) decodes into at `pcm_rate`: (2R/1000, integer division) x 12 for
// the 24 ms frames of the 12000 clock, x 18 for the 36 ms frames of the 8000
// clock.
uint32_t sp_samples_per_frame(uint32_t block_rate, uint32_t pcm_rate);

// The fixed codec formats (tag, samples/s, bytes/s, block).
inline constexpr uint16_t kTagSp = WAVE_FORMAT_DSS_SP;
inline constexpr uint16_t kTagLp = WAVE_FORMAT_DSS_LP;
inline constexpr uint16_t kSpBlock = 42;     // 41-byte frame + 1
inline constexpr uint16_t kLpBlock = 25;     // 24-byte frame + 1
inline constexpr uint16_t kQpBlock = 57;     // 56-byte frame + 1
inline constexpr uint32_t kQpRate = 16000;
inline constexpr uint32_t kQpFrameSamples = 256;
inline constexpr uint32_t kLpFrameSamples = 240;

WAVEFORMATEX sp_format(uint32_t block_rate);  // 12000 (1750 bytes/s) or 8000 (1167 bytes/s)
WAVEFORMATEX lp_format();                     // 0xFFFC, 8000, 834, 25
WAVEFORMATEX qp_format();                     // 0x0121, 16000, 3563, 57

// Codec records by the fields that identify them (tag, channels, rate,
// block), so that a WAV file's record with another byte rate still opens.
bool is_sp_format(const WAVEFORMATEX& f);  // 0x0121, 12000 or 8000, block 42
bool is_lp_format(const WAVEFORMATEX& f);  // 0xFFFC, 8000, block 25
bool is_qp_format(const WAVEFORMATEX& f);  // 0x0121, 16000, block 57

// True when the seven fixed fields of a and b are equal.
bool same_format(const WAVEFORMATEX& a, const WAVEFORMATEX& b);
// True for 16-bit mono PCM at any rate (cbSize 0), as the codec streams accept it.
bool is_mono_pcm16(const WAVEFORMATEX& f);

}  // namespace vkt::codecs
