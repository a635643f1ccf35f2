// What a conversion is planned from: the parameter records the converters
// are built from, and the integer arithmetic on sampling rates that turns
// two rates into up and down factors.
#pragma once

#include <cstdint>
#include <vector>

// Stream types: 1 is PCM; 2, 3 and 4 are compressed codec formats that only
// a type converter stage could turn into PCM.
namespace afc_type {
inline constexpr int32_t kPCM = 1;
inline constexpr int32_t kCodec98 = 2;
inline constexpr int32_t kCodec120 = 3;
inline constexpr int32_t kCodec120At8000 = 4;
}  // namespace afc_type

struct AudioFormatSide {
    int32_t type = afc_type::kPCM;
    double rate = 0.0;  // Hz
    int32_t bits = 0;
    bool mono = true;

    bool operator==(const AudioFormatSide&) const = default;
};

struct SRConverterPars {
    virtual ~SRConverterPars() = default;
};

struct SRSamplingRateConverterPars : SRConverterPars {
    SRSamplingRateConverterPars() = default;
    SRSamplingRateConverterPars(double source, double destination, uint32_t bitsPerSample)
        : sourceRate(source), destinationRate(destination), bits(bitsPerSample) {}
    double sourceRate = 0.0;
    double destinationRate = 0.0;
    uint32_t bits = 0;
};

struct SRAFConverterPars {
    SRAFConverterPars() = default;
    SRAFConverterPars(const AudioFormatSide& s, const AudioFormatSide& d) : source(s), destination(d) {}
    virtual ~SRAFConverterPars() = default;
    AudioFormatSide source;
    AudioFormatSide destination;
};

struct SRPCMConverterParams : SRAFConverterPars {
    SRPCMConverterParams() = default;
    SRPCMConverterParams(const AudioFormatSide& s, const AudioFormatSide& d, int32_t kind)
        : SRAFConverterPars(s, d), rateConverterKind(kind) {}
    // 1: one single-stage rate converter; 2: the multi-stage planner.
    int32_t rateConverterKind = 2;
};

struct SRBitConverterParams {
    SRBitConverterParams() = default;
    SRBitConverterParams(uint32_t s, uint32_t d) : sourceBits(s), destinationBits(d) {}
    virtual ~SRBitConverterParams() = default;
    uint32_t sourceBits = 0;
    uint32_t destinationBits = 0;
};

// Integer arithmetic on sampling rates: rounding, primes, factor lists, gcd
// and lcm (worked out from the factor lists), and the least whole multiple
// of a rate with a fractional part.
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
