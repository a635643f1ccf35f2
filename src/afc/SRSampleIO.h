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

inline void store_sample(uint8_t* p, float gain, float y) {
    const float v = gain * y;
    const double dv = v;
    int16_t r;
    if (dv > 32767.0)
        r = 32767;
    else if (dv < -32767.0)
        r = -32767;
    else
        r = static_cast<int16_t>(dv >= 0.0 ? dv + 0.5 : dv - 0.5);
    std::memcpy(p, &r, 2);
}

}  // namespace afc_samples
