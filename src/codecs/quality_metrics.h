// Objective measures of coded speech against its original, for the codec
// tests and the benchmark: log-spectral distance and segmental SNR over the
// frames where speech is active.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vkt::codecs {

struct SpeechQuality {
    // Mean over active 32 ms frames (Hann window) of the RMS difference of the
    // log power spectra, each clamped 50 dB below the reference's peak bin.
    double log_spectral_distance_db = 0;
    double segmental_snr_db = 0;          // mean over active 16 ms frames, each clamped to [-10, 35]
    size_t active_frames = 0;             // of the 32 ms frames
};

// `reference` and `decoded` at `rate`, decoded[i + delay] matching
// reference[i]. A frame is active when its energy is within 40 dB of the
// loudest frame's.
SpeechQuality measure_speech_quality(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded,
                                     size_t delay, uint32_t rate);

}  // namespace vkt::codecs
