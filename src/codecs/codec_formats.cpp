#include "codecs/codec_formats.h"

namespace vkt::codecs {

WAVEFORMATEX pcm_format(uint32_t rate) { return {WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0}; }

namespace {
WAVEFORMATEX codec_format(uint16_t tag, uint32_t rate, uint32_t bytes_per_second, uint16_t block) {
    return {tag, 1, rate, bytes_per_second, block, 0, 0};
}
}  // namespace

WAVEFORMATEX sp_format(uint32_t block_rate) {
    return codec_format(kTagSp, block_rate, block_rate == 8000 ? 1167 : 1750, kSpBlock);
}
WAVEFORMATEX lp_format() { return codec_format(kTagLp, 8000, 834, kLpBlock); }
WAVEFORMATEX qp_format() { return codec_format(kTagSp, kQpRate, 3563, kQpBlock); }

uint32_t sp_samples_per_frame(uint32_t block_rate, uint32_t pcm_rate) {
    const uint32_t per_ms2 = 2 * pcm_rate / 1000;
    return block_rate == 8000 ? per_ms2 * 18 : per_ms2 * 12;
}

std::optional<DictationFormat> dictation_format(uint8_t compression_id, uint32_t pcm_rate) {
    switch (compression_id) {
    case 0:
    case 1:
        return DictationFormat{sp_format(12000), pcm_format(pcm_rate), 2 * sp_samples_per_frame(12000, pcm_rate)};
    case 2:
    case 3:
        return DictationFormat{lp_format(), pcm_format(8000), 2 * kLpFrameSamples};
    case 4:
        return DictationFormat{sp_format(8000), pcm_format(8000), 2 * sp_samples_per_frame(8000, 8000)};
    case 6:
    case 7:
        return DictationFormat{qp_format(), pcm_format(kQpRate), 2 * kQpFrameSamples};
    default:
        return std::nullopt;
    }
}

bool is_sp_format(const WAVEFORMATEX& f) {
    return f.wFormatTag == kTagSp && f.nChannels == 1 && f.nBlockAlign == kSpBlock &&
           (f.nSamplesPerSec == 12000 || f.nSamplesPerSec == 8000);
}
bool is_lp_format(const WAVEFORMATEX& f) {
    return f.wFormatTag == kTagLp && f.nChannels == 1 && f.nBlockAlign == kLpBlock && f.nSamplesPerSec == 8000;
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
