// The wave formats of the dictation codecs, per compression identifier of a
// DSS or DS2 file: the codec side as the codec manager opens it and the PCM
// side one stored frame decodes into.
#pragma once

#include <cstdint>
#include <optional>

#include "OrvaneVktapi.h"
#include "dss/dss_layout.h"

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

// The fixed codec formats (tag, samples/s, bytes/s, block), from the table
// of compression identifiers.
inline constexpr const dss::CompressionFormat& kSpRow = dss::kCompressionIds[dss::kIdStandardPlay];
inline constexpr const dss::CompressionFormat& kSp8kRow = dss::kCompressionIds[dss::kIdStandardPlay8k];
inline constexpr const dss::CompressionFormat& kLpRow = dss::kCompressionIds[dss::kIdLongPlay];
inline constexpr const dss::CompressionFormat& kQpRow = dss::kCompressionIds[dss::kIdQualityPlay];
inline constexpr uint16_t kTagSp = kSpRow.format_tag;
inline constexpr uint16_t kTagLp = kLpRow.format_tag;
inline constexpr uint16_t kSpBlock = kSpRow.block_align;
inline constexpr uint16_t kLpBlock = kLpRow.block_align;
inline constexpr uint16_t kQpBlock = kQpRow.block_align;
inline constexpr uint32_t kQpRate = kQpRow.clock_rate;
inline constexpr uint32_t kQpFrameSamples = kQpRow.samples_per_frame;
inline constexpr uint32_t kLpFrameSamples = kLpRow.samples_per_frame;

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
