// 16-bit samples in and out of the rate converters' filters: read as floats,
// written as L x y in single precision, compared in double precision,
// clipped to +-32767 and rounded half away from zero.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "samples are read and written as little-endian words");

namespace afc_samples {

inline float load_sample(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return static_cast<float>(v);
}

// A value that is not a number (a filter that has run away) gives 0, what
// the conversion to a 16-bit integer has always given for it on x86-64.
inline int16_t round_sample(float gain, float y) {
    const float v = gain * y;
    const double dv = v;
    if (dv != dv) return 0;
    if (dv > 32767.0) return 32767;
    if (dv < -32767.0) return -32767;
    return static_cast<int16_t>(dv >= 0.0 ? dv + 0.5 : dv - 0.5);
}

inline void store_sample(uint8_t* p, float gain, float y) {
    const int16_t r = round_sample(gain, y);
    std::memcpy(p, &r, 2);
}

}  // namespace afc_samples
