// The special functions of the elliptic filter design, on the parameter
// m = k^2. They never throw: a numerical error is reported to the trace log
// with the function's name and kind and a fallback value is returned.
#pragma once

#include <complex>

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
