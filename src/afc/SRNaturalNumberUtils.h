// Integer arithmetic on sampling rates: rounding, primes, factor lists, gcd
// and lcm (worked out from the factor lists), and the least whole multiple
// of a rate with a fractional part.
#pragma once

#include <cstdint>
#include <vector>

class SRNaturalNumberUtils {
public:
    using FactorList = std::vector<uint32_t>;

    virtual ~SRNaturalNumberUtils() = default;
    virtual uint32_t Lcm(uint32_t a, uint32_t b);
    virtual double LcmReal(double x, double y);
    // The least natural multiple of x (fraction to three decimals); 401 when
    // there is none below 2^32.
    virtual uint32_t FindLeastNatNumRepeated(double x);
    virtual uint32_t Gcd(uint32_t a, uint32_t b);
    // Largest factor first, the smallest prime last; see the .cpp for the
    // leading 1 that some numbers get.
    virtual void Factorize(uint32_t n, FactorList& list);
    virtual uint32_t RoundToNatural(double x);
    virtual bool IsItPrim(uint32_t n);
};
