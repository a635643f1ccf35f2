// The parameter records the converters are built from.
#pragma once

#include <cstdint>

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
