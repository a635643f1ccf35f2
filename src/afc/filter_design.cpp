#include "afc/filter_design.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>

#include "platform/vkt_trace.h"

// ---- the special functions ---------------------------------------------------

namespace afc_elliptic {

namespace {

constexpr double kPi = std::numbers::pi;

void report(const char* function, const char* kind) {
    VKT_TRACE_UNIT_HERE("EllipticFunctions");
    const std::string text = std::string(function) + " " + kind + " error";
    VKT_TRACE_WARNING(text.c_str());
}

// Arithmetic-geometric mean of 1 and b (0 < b <= 1).
double agm_from_one(double b) {
    double a = 1.0;
    for (int i = 0; i < 64 && std::fabs(a - b) > kMachineEpsilon * a; ++i) {
        const double next = 0.5 * (a + b);
        b = std::sqrt(a * b);
        a = next;
    }
    return a;
}

// Carlson's symmetric integral R_F(x, y, z) by duplication.
double carlson_rf(double x, double y, double z) {
    for (int i = 0; i < 64; ++i) {
        const double mean = (x + y + z) / 3.0;
        const double dx = 1.0 - x / mean, dy = 1.0 - y / mean, dz = 1.0 - z / mean;
        if (std::max({std::fabs(dx), std::fabs(dy), std::fabs(dz)}) < 1e-4) {
            const double e2 = dx * dy - dz * dz;
            const double e3 = dx * dy * dz;
            return (1.0 - e2 / 10.0 + e3 / 14.0 + e2 * e2 / 24.0 - 3.0 * e2 * e3 / 44.0) / std::sqrt(mean);
        }
        const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z);
        const double lambda = sx * sy + sy * sz + sz * sx;
        x = 0.25 * (x + lambda);
        y = 0.25 * (y + lambda);
        z = 0.25 * (z + lambda);
    }
    return 1.0 / std::sqrt((x + y + z) / 3.0);
}

}  // namespace

double ellpk(double m1) {
    if (m1 < 0.0 || m1 > 1.0) {
        report("ellpk", "domain");
        return 0.0;
    }
    if (m1 == 0.0) {
        report("ellpk", "singularity");
        return kOverflowValue;
    }
    // Near m = 1 the integral grows like ln(4 / sqrt(m1)).
    if (m1 <= kMachineEpsilon) return std::log(4.0) - 0.5 * std::log(m1);
    return kPi / (2.0 * agm_from_one(std::sqrt(m1)));
}

double ellik(double phi, double m) {
    if (m > 1.0 || std::isnan(m)) {
        report("ellik", "domain");
        return 0.0;
    }
    if (m == 1.0) {
        if (std::fabs(phi) < kPi / 2.0) return std::log(std::tan(0.5 * (phi + kPi / 2.0)));
        report("ellik", "singularity");
        return kOverflowValue;
    }
    if (phi == 0.0) return 0.0;
    // F(phi + j pi) = F(phi) + 2 j K: reduce to |phi| <= pi/2.
    const double turns = std::round(phi / kPi);
    const double rest = phi - turns * kPi;
    const double s = std::sin(rest), c = std::cos(rest);
    double f = s * carlson_rf(c * c, 1.0 - m * s * s, 1.0);
    if (turns != 0.0) f += 2.0 * turns * carlson_rf(0.0, 1.0 - m, 1.0);
    return f;
}

Jacobi ellpj(double u, double m) {
    Jacobi r;
    if (m < 0.0 || m > 1.0 || std::isnan(m)) {
        report("ellpj", "domain");
        return r;
    }
    if (m >= 0.9999999999) {
        // First-order expansion in m1 = 1 - m around the hyperbolic limit.
        const double m1 = 1.0 - m;
        const double ch = std::cosh(u), sh = std::sinh(u), th = std::tanh(u), sech = 1.0 / ch;
        const double w = 0.25 * m1 * (sh * ch - u);
        r.sn = th + w * sech * sech;
        r.cn = sech - w * th * sech;
        r.dn = sech + 0.25 * m1 * (sh * ch + u) * th * sech;
        r.ph = 2.0 * std::atan(std::exp(u)) - kPi / 2.0 + w * sech;
        return r;
    }
    // Descending arithmetic-geometric mean, then back down the amplitudes.
    constexpr int kMaxSteps = 8;
    double a[kMaxSteps + 1], c[kMaxSteps + 1];
    a[0] = 1.0;
    c[0] = std::sqrt(m);
    double b = std::sqrt(1.0 - m);
    int i = 0;
    while (std::fabs(c[i] / a[i]) > kMachineEpsilon) {
        if (i == kMaxSteps) {
            report("ellpj", "overflow");
            break;
        }
        const double ai = a[i];
        ++i;
        c[i] = 0.5 * (ai - b);
        const double g = std::sqrt(ai * b);
        a[i] = 0.5 * (ai + b);
        b = g;
    }
    double phi = std::ldexp(a[i] * u, i);
    for (; i > 0; --i) {
        const double t = c[i] * std::sin(phi) / a[i];
        phi = 0.5 * (std::asin(t) + phi);
    }
    r.sn = std::sin(phi);
    r.cn = std::cos(phi);
    // dn > 0 for real u and 0 <= m <= 1; this form stays accurate where cn
    // vanishes.
    r.dn = std::sqrt(1.0 - m * r.sn * r.sn);
    r.ph = phi;
    return r;
}

std::complex<double> cdiv(std::complex<double> a, std::complex<double> b) {
    const double den = std::norm(b);
    const double re = a.real() * b.real() + a.imag() * b.imag();
    const double im = a.imag() * b.real() - a.real() * b.imag();
    if (den < 1.0 && (std::fabs(re) >= den * kOverflowValue || std::fabs(im) >= den * kOverflowValue)) {
        report("cdiv", "overflow");
        return {kOverflowValue, kOverflowValue};
    }
    return {re / den, im / den};
}

double modulus_from_nome(double q) {
    double top = 0.0;     // sum over i >= 0 of q^(i(i+1))
    double bottom = 0.0;  // sum over i >= 1 of q^(i^2)
    for (int i = 0; i < 1000; ++i) {
        const double t = std::pow(q, static_cast<double>(i) * (i + 1));
        const double s = (i >= 1) ? std::pow(q, static_cast<double>(i) * i) : 0.0;
        top += t;
        bottom += s;
        const bool topDone = t <= kMachineEpsilon * top;
        const bool bottomDone = i == 0 || bottom == 0.0 || s <= kMachineEpsilon * bottom;
        if (i >= 1 && topDone && bottomDone) break;
    }
    const double r = top / (1.0 + 2.0 * bottom);
    return 4.0 * std::sqrt(q) * r * r;
}

}  // namespace afc_elliptic

// ---- the design ------------------------------------------------------------

using afc_elliptic::cdiv;
using afc_elliptic::ellik;
using afc_elliptic::ellpj;
using afc_elliptic::ellpk;
using afc_elliptic::Jacobi;
using afc_elliptic::modulus_from_nome;

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
