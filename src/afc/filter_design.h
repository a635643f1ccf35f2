// Designs the recursive low-pass filters of the rate converters: an
// elliptic (Cauer) prototype, pre-warped and mapped by the bilinear
// transform, with the special functions the design needs. All storage of a
// design is local to the call, so designs may run at the same time.
#pragma once

#include <complex>
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
    // family and kind count from 1 (family 3 elliptic, kind 1 low-pass); a
    // negative attenuation is decibels, a positive one the stop-band edge in
    // Hz. Only the elliptic low-pass is designed here; any other choice
    // fails. Output vectors are written only on success.
    virtual bool DesignElliptic(int family, int kind, int order, double ripple, double attenuation, double rate,
                                double passEdge, double secondEdge, Coefficients& denominator,
                                Coefficients& numerator);
};

// The special functions of the elliptic filter design, on the parameter
// m = k^2. They never throw: a numerical error is reported to the trace log
// with the function's name and kind and a fallback value is returned.
namespace afc_elliptic {

// Complete integral of the first kind, called with the complementary
// parameter: ellpk(m1) = K(1 - m1). Valid for 0 <= m1 <= 1; 0 gives the
// singularity value 1.5e38, outside the range gives 0.
double ellpk(double m1);

// Incomplete integral of the first kind F(phi | m).
double ellik(double phi, double m);

// Jacobi elliptic functions of u with parameter m, and the amplitude.
struct Jacobi {
    double sn = 0.0;
    double cn = 0.0;
    double dn = 0.0;
    double ph = 0.0;
};
Jacobi ellpj(double u, double m);

// a / b; a result whose parts would exceed 1.5e38 stores 1.5e38 in both.
std::complex<double> cdiv(std::complex<double> a, std::complex<double> b);

// The modulus k whose nome is q: k = 4 sqrt(q) (sum q^(i(i+1)))^2 /
// (1 + 2 sum q^(i^2))^2.
double modulus_from_nome(double q);

inline constexpr double kOverflowValue = 1.5e38;
inline constexpr double kMachineEpsilon = 1.1e-16;

}  // namespace afc_elliptic
