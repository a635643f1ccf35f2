// Linear prediction for the DSS standard-play encoder: autocorrelation,
// Levinson recursion, conversions between direct form and reflection
// coefficients, and the choice of the frame's reflection-coefficient indices.
#pragma once

#include <array>
#include <cstdint>

#include "codecs/dss_sp_synthesis.h"

namespace vkt::codecs::dss_sp {

using Autocorrelation = std::array<double, kOrder + 1>;
// A(z) = 1 + sum a[i] z^-i in floating point (a[0] = 1).
using Polynomial = std::array<double, kOrder + 1>;

Autocorrelation autocorrelate(const float* x, int n);
// r[0..order] of n samples.
void autocorrelate(const float* x, int n, int order, double* r);

// Levinson-Durbin of any order: a[0..order] (a[0] = 1) and, when k is not
// null, the reflection coefficients k[0..order-1]. Reflection coefficients
// are kept inside +-0.9999. Returns the prediction error energy; a zero or
// negative r[0] gives the trivial predictor and 0.
double levinson(const double* r, int order, double* a, double* k);

// The predictor of order 14 and its reflection coefficients (same sign
// convention as the decoder: the last coefficient of each order is k).
double levinson(const Autocorrelation& r, Polynomial* a, std::array<double, kOrder>* k);

// Reflection coefficients of a direct-form polynomial (the step-down); false
// when a coefficient reaches magnitude 1, i.e. the filter is not stable.
bool step_down(const Polynomial& a, std::array<double, kOrder>* k);

// a[i] * gamma^i.
Polynomial expand_bandwidth(const Polynomial& a, double gamma);

// The decoder's filter of a set of indices as a floating-point polynomial.
Polynomial polynomial_of(const DirectForm& a);

// Chooses the 14 codebook indices: the nearest entries to `k`, the bandwidth
// widened until the decoder's integer step-up needs no clipping, then a
// search over neighbouring indices that lowers the prediction error
// a' R a of the quantized filter, never accepting a filter that clips.
// Writes the decoder's direct form of the result to `direct`.
std::array<uint8_t, kOrder> quantize_filter(const Autocorrelation& r, const Polynomial& a, DirectForm* direct);

}  // namespace vkt::codecs::dss_sp
