// Designs the recursive low-pass filters of the rate converters: an
// elliptic (Cauer) prototype, pre-warped and mapped by the bilinear
// transform. All storage of a design is local to the call, so designs may
// run at the same time.
#pragma once

#include <cstdint>
#include <vector>

struct SRFilterSpecification {
    uint32_t order = 0;
    double designRate = 0.0;   // Hz
    double ripple = 1.0;       // pass-band ripple, dB
    double attenuation = 1.0;  // stop-band attenuation, dB
    double stopEdge = 0.0;     // Hz; the elliptic design works from the attenuation instead
    double passEdge = 0.0;     // Hz
    double secondEdge = 0.0;   // Hz; the lower edge of band filters
    uint32_t bandKind = 4;     // 0 low-pass, 1 band-pass, 2 high-pass, 3 band-stop, 4 no filter
    uint32_t family = 2;       // 0 Butterworth, 1 Chebyshev, 2 elliptic
};

namespace afc_filter {
inline constexpr uint32_t kLowPass = 0;
inline constexpr uint32_t kNoFilter = 4;
inline constexpr uint32_t kElliptic = 2;
}  // namespace afc_filter

class SRFilterDesigner {
public:
    // Coefficients stand at indices 1 ... order + 1 (index 0 is 0 and never
    // read); index 1 is the z^0 coefficient and the denominator's is 1.
    using Coefficients = std::vector<float>;

    virtual ~SRFilterDesigner() = default;
    // Sizes both vectors to order + 2 (zeros) and designs into them; on
    // failure they keep their zeros and the result is false.
    virtual bool Design(const SRFilterSpecification& wanted, Coefficients& denominator, Coefficients& numerator);
    // The precomputed order-6 low-pass filters: appends the row for the
    // design rate, or raises 202 when there is none.
    virtual void DesignFilter(const SRFilterSpecification& wanted, Coefficients& denominator, Coefficients& numerator);
    // family and kind count from 1 (family 3 elliptic, kind 1 low-pass); a
    // negative attenuation is decibels, a positive one the stop-band edge in
    // Hz. Only the elliptic low-pass is designed here; any other choice
    // fails. Output vectors are written only on success.
    virtual bool DesignElliptic(int family, int kind, int order, double ripple, double attenuation, double rate,
                                double passEdge, double secondEdge, Coefficients& denominator,
                                Coefficients& numerator);
};
