#include "afc/planning.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "afc/support.h"

namespace {

uint32_t product(const SRNaturalNumberUtils::FactorList& list) {
    uint32_t p = 1;
    for (uint32_t f : list) p *= f;
    return p;
}

[[noreturn]] void raise_not_found() {
    throw SException(afc_error::kNaturalNumberNotFound, "SRNaturalNumberUtils", "FindLeastNatNumRepeated",
                     "Natural number not found");
}

}  // namespace

uint32_t SRNaturalNumberUtils::RoundToNatural(double x) {
    if (x > 4294967295.0) return 4294967295u;
    if (x < 0.0) return 0;
    return static_cast<uint32_t>(x + 0.5);
}

bool SRNaturalNumberUtils::IsItPrim(uint32_t n) {
    if (n == 0) throw SException(afc_error::kZeroInput, "SRNaturalNumberUtils", "IsItPrim", "0 input");
    if (n <= 2) return true;  // 1 counts as prime here
    for (uint32_t d = 2; d < n; ++d)
        if (n % d == 0) return false;
    return true;
}

// Trial division up to round(sqrt(n)) + 1, recursing on the quotient of the
// first prime divisor. A quotient of 2 or 3 finds no divisor below its limit
// and is appended whole, and so is 1, which gives the list a leading 1 for
// those numbers: 12 -> [1, 3, 2, 2], 10 -> [5, 2].
void SRNaturalNumberUtils::Factorize(uint32_t n, FactorList& list) {
    list.clear();
    const uint32_t limit = RoundToNatural(std::sqrt(static_cast<double>(n))) + 1;
    for (uint32_t d = 2; d <= limit; ++d) {
        if (IsItPrim(d) && n % d == 0) {
            Factorize(n / d, list);
            list.push_back(d);
            return;
        }
    }
    list.push_back(n);
}

uint32_t SRNaturalNumberUtils::Gcd(uint32_t a, uint32_t b) {
    FactorList fa, fb, common;
    Factorize(a, fa);
    Factorize(b, fb);
    for (size_t i = 0; i < fa.size();) {
        auto it = std::find(fb.begin(), fb.end(), fa[i]);
        if (it != fb.end()) {
            common.push_back(fa[i]);
            fb.erase(it);
            fa.erase(fa.begin() + static_cast<ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    return product(common);
}

uint32_t SRNaturalNumberUtils::Lcm(uint32_t a, uint32_t b) {
    FactorList fa, fb;
    Factorize(a, fa);
    Factorize(b, fb);
    for (uint32_t f : fa) {
        auto it = std::find(fb.begin(), fb.end(), f);
        if (it != fb.end()) fb.erase(it);
    }
    return product(fa) * product(fb);
}

uint32_t SRNaturalNumberUtils::FindLeastNatNumRepeated(double x) {
    if (x > 4294967295.0) raise_not_found();
    const double f = RoundToNatural((x - std::trunc(x)) * 1000.0) / 1000.0;
    if (f == 0.0) return static_cast<uint32_t>(x);
    const uint32_t k = RoundToNatural(1.0 / f);
    const double y = k * x;
    const double r = RoundToNatural((y - RoundToNatural(y)) * 1000.0) / 1000.0;
    if (r > 0.0) raise_not_found();
    return static_cast<uint32_t>(y);
}

double SRNaturalNumberUtils::LcmReal(double x, double y) {
    const uint32_t p = FindLeastNatNumRepeated(x);
    const uint32_t kp = RoundToNatural(p / x);
    const uint32_t q = FindLeastNatNumRepeated(y);
    const uint32_t kq = RoundToNatural(q / y);
    return static_cast<double>(Lcm(p, q)) / static_cast<double>(Gcd(kp, kq));
}
