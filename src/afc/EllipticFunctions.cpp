#include "afc/EllipticFunctions.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("EllipticFunctions");

namespace afc_elliptic {

namespace {

constexpr double kPi = std::numbers::pi;

void report(const char* function, const char* kind) {
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
