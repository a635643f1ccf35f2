#include "codecs/codec_formats.h"

namespace vkt::codecs {

WAVEFORMATEX pcm_format(uint32_t rate) { return {WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0}; }

namespace {
WAVEFORMATEX codec_format(uint16_t tag, uint32_t rate, uint32_t bytes_per_second, uint16_t block) {
    return {tag, 1, rate, bytes_per_second, block, 0, 0};
}
}  // namespace

WAVEFORMATEX sp_format(uint32_t block_rate) {
    const uint32_t bytes_per_second =
        block_rate == kSp8kRow.clock_rate ? kSp8kRow.bytes_per_second : kSpRow.bytes_per_second;
    return codec_format(kTagSp, block_rate, bytes_per_second, kSpBlock);
}
WAVEFORMATEX lp_format() { return codec_format(kTagLp, kLpRow.clock_rate, kLpRow.bytes_per_second, kLpBlock); }
WAVEFORMATEX qp_format() { return codec_format(kQpRow.format_tag, kQpRate, kQpRow.bytes_per_second, kQpBlock); }

uint32_t sp_samples_per_frame(uint32_t block_rate, uint32_t pcm_rate) {
    const uint32_t per_ms2 = 2 * pcm_rate / 1000;
    // frames of 36 ms (the 8000 clock) or 24 ms, in steps of 2 ms
    return per_ms2 * (block_rate == kSp8kRow.clock_rate ? kSp8kRow.ms_per_frame : kSpRow.ms_per_frame) / 2;
}

std::optional<DictationFormat> dictation_format(uint8_t compression_id, uint32_t pcm_rate) {
    const auto* row = dss::compression_format(compression_id);
    if (!row) return std::nullopt;
    if (row->block_align == kLpBlock)
        return DictationFormat{lp_format(), pcm_format(row->clock_rate), 2 * row->samples_per_frame};
    if (row->block_align == kQpBlock)
        return DictationFormat{qp_format(), pcm_format(row->clock_rate), 2 * row->samples_per_frame};
    // Standard play decodes at the caller's rate on the 12000 clock.
    const uint32_t rate = row->clock_rate == kSpRow.clock_rate ? pcm_rate : row->clock_rate;
    return DictationFormat{sp_format(row->clock_rate), pcm_format(rate),
                           2 * sp_samples_per_frame(row->clock_rate, rate)};
}

bool is_sp_format(const WAVEFORMATEX& f) {
    return f.wFormatTag == kTagSp && f.nChannels == 1 && f.nBlockAlign == kSpBlock &&
           (f.nSamplesPerSec == kSpRow.clock_rate || f.nSamplesPerSec == kSp8kRow.clock_rate);
}
bool is_lp_format(const WAVEFORMATEX& f) {
    return f.wFormatTag == kTagLp && f.nChannels == 1 && f.nBlockAlign == kLpBlock && f.nSamplesPerSec == kLpRow.clock_rate;
}
bool is_qp_format(const WAVEFORMATEX& f) {
    return f.wFormatTag == kTagSp && f.nChannels == 1 && f.nBlockAlign == kQpBlock && f.nSamplesPerSec == kQpRate;
}

bool same_format(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.nAvgBytesPerSec == b.nAvgBytesPerSec && a.nBlockAlign == b.nBlockAlign &&
           a.wBitsPerSample == b.wBitsPerSample && a.cbSize == b.cbSize;
}

bool is_mono_pcm16(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.wBitsPerSample == 16 && f.nBlockAlign == 2 &&
           f.nSamplesPerSec > 0 && f.nAvgBytesPerSec == 2 * f.nSamplesPerSec;
}

}  // namespace vkt::codecs
