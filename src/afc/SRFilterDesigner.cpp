#include "afc/SRFilterDesigner.h"

#include <cmath>
#include <complex>
#include <numbers>

#include "afc/EllipticFunctions.h"
#include "afc/SException.h"

using namespace afc_elliptic;

namespace {

using Complex = std::complex<double>;
constexpr double kPi = std::numbers::pi;
// Root arrays of a design hold 2n + 2 entries at most.
constexpr int kRootCapacity = 50;

// Coefficients of prod (1 - r z^-1), highest power of z^-1 last.
std::vector<double> expand(const std::vector<Complex>& roots) {
    std::vector<Complex> poly(roots.size() + 1, Complex(0.0, 0.0));
    poly[0] = 1.0;
    for (size_t i = 0; i < roots.size(); ++i)
        for (size_t j = i + 1; j > 0; --j) poly[j] -= roots[i] * poly[j - 1];
    std::vector<double> out(poly.size());
    for (size_t i = 0; i < poly.size(); ++i) out[i] = poly[i].real();
    return out;
}

// Adds the digital image of the analog root r (and of its conjugate).
void add_digital(std::vector<Complex>& roots, Complex r, double warped) {
    const Complex s = r * warped;
    const Complex z = cdiv(1.0 + s, 1.0 - s);
    roots.push_back(z);
    if (r.imag() != 0.0) roots.push_back(std::conj(z));
}

}  // namespace

bool SRFilterDesigner::Design(const SRFilterSpecification& wanted, Coefficients& denominator, Coefficients& numerator) {
    denominator.assign(wanted.order + 2, 0.0f);
    numerator.assign(wanted.order + 2, 0.0f);
    return DesignElliptic(static_cast<int>(wanted.family) + 1, static_cast<int>(wanted.bandKind) + 1,
                          static_cast<int>(wanted.order), wanted.ripple, -wanted.attenuation, wanted.designRate,
                          wanted.passEdge, wanted.secondEdge, denominator, numerator);
}

bool SRFilterDesigner::DesignElliptic(int family, int kind, int n, double ripple, double attenuation, double fs,
                                      double fp, double secondEdge, Coefficients& denominator,
                                      Coefficients& numerator) {
    if (family < 1 || family > 3 || kind < 1 || kind > 4) return false;
    if (n <= 0) return false;
    if (family >= 2 && ripple <= 0.0) return false;
    if (fs <= 0.0 || fp <= 0.0 || fp >= fs / 2.0) return false;
    if (kind == 1 || kind == 3) {
        secondEdge = 0.0;
    } else {
        if (secondEdge <= 0.0 || secondEdge >= fs / 2.0) return false;
        if (4 * n > 48) return false;
    }
    if (family == 3 && 2 * n + 2 > kRootCapacity) return false;
    if (family != 3 || kind != 1) return false;  // only the elliptic low-pass is needed

    const double eps = std::sqrt(std::pow(10.0, ripple / 10.0) - 1.0);
    const double gainScale = (n % 2 == 0) ? std::pow(10.0, ripple / 20.0) : 1.0;
    const double bandwidth = fp - secondEdge;
    const double warped = std::tan(kPi * bandwidth / fs);

    // Selectivity from the degree equation, and the stop-band edge it gives.
    double stopEdge;
    if (attenuation < 0.0) {
        const double k1 = eps / std::sqrt(std::pow(10.0, -attenuation / 10.0) - 1.0);
        const double m1 = k1 * k1;
        const double q = std::exp(-kPi * ellpk(m1) / (n * ellpk(1.0 - m1)));
        const double k = modulus_from_nome(q);
        stopEdge = (fs / kPi) * std::atan(warped / k);
    } else {
        stopEdge = attenuation;
    }
    if (fp >= stopEdge) return false;

    // Selectivity from the edges, and the discrimination k1 that goes with it.
    const double rho = std::fabs(std::tan(kPi * stopEdge / fs) / warped);
    const double k = 1.0 / rho;
    const double m = k * k;
    const double bigK = ellpk(1.0 - m);
    const double bigKc = ellpk(m);
    const double q1 = std::exp(-kPi * n * bigKc / bigK);
    const double k1 = modulus_from_nome(q1);
    const double m1 = k1 * k1;

    const double u0 = ellik(std::atan(1.0 / eps), 1.0 - m1) * bigK / (n * ellpk(1.0 - m1));
    const Jacobi v0 = ellpj(u0, 1.0 - m);

    // Analog poles (upper half plane and real axis), then zeros on the
    // imaginary axis; pass-band edge at 1.
    std::vector<Complex> analogPoles, analogZeros;
    for (int t = 0; t < n / 2; ++t) {
        const int j = n - 2 * t - 1;
        const Jacobi e = ellpj(j * bigK / n, m);
        analogZeros.emplace_back(0.0, 1.0 / (k * e.sn));
    }
    for (int t = 0; t < (n + 1) / 2; ++t) {
        const int j = n - 2 * t - 1;
        const Jacobi e = ellpj(j * bigK / n, m);
        const double ks = k * e.sn * v0.sn;
        const double d = v0.cn * v0.cn + ks * ks;
        analogPoles.emplace_back(-e.cn * e.dn * v0.sn * v0.cn / d, e.sn * v0.dn / d);
    }

    std::vector<Complex> poles, zeros;
    for (const Complex& p : analogPoles) add_digital(poles, p, warped);
    for (const Complex& z : analogZeros) add_digital(zeros, z, warped);
    while (zeros.size() < poles.size()) zeros.emplace_back(-1.0, 0.0);

    const std::vector<double> den = expand(poles);
    std::vector<double> num = expand(zeros);
    double denSum = 0.0, numSum = 0.0;
    for (double v : den) denSum += v;
    for (double v : num) numSum += v;
    const double gain = denSum / (numSum * gainScale);
    for (double& v : num) v *= gain;

    denominator.assign(static_cast<size_t>(n) + 2, 0.0f);
    numerator.assign(static_cast<size_t>(n) + 2, 0.0f);
    for (int i = 0; i <= n; ++i) {
        denominator[static_cast<size_t>(i) + 1] = static_cast<float>(den[static_cast<size_t>(i)]);
        numerator[static_cast<size_t>(i) + 1] = static_cast<float>(num[static_cast<size_t>(i)]);
    }
    return true;
}

void SRFilterDesigner::DesignFilter(const SRFilterSpecification& wanted, Coefficients& denominator,
                                    Coefficients& numerator) {
    if (wanted.bandKind == afc_filter::kNoFilter) return;
    struct Row {
        double rate;
        float a[7];
        float b[4];  // b0 ... b3; the rest mirror them
    };
    static constexpr Row kTable[] = {
        {16000.0,
         {1.0f, -0.653053f, 1.578111f, -0.885660f, 0.732870f, -0.267594f, 0.074149f},
         {0.043570f, 0.172728f, 0.347915f, 0.432325f}},
    };
    for (const Row& row : kTable) {
        if (row.rate != wanted.designRate) continue;
        denominator.push_back(0.0f);
        for (float v : row.a) denominator.push_back(v);
        numerator.push_back(0.0f);
        for (int i = 0; i < 7; ++i) numerator.push_back(row.b[i <= 3 ? i : 6 - i]);
        return;
    }
    throw SException(afc_error::kNoDesignedFilter, "COrSRConDesigner", "DesignFilter", "No designed filter available");
}
