// The chain between two audio formats: at most a type stage from a
// compressed source to PCM, a PCM stage, and a type stage from PCM to a
// compressed destination. Between two PCM formats it is one PCM stage, or
// none when the formats are equal.
#pragma once

#include "afc/SRMultiBufferUnitConverter.h"

using SRAFStage = SRConverterProvidingBufferUnitSizes<SRAFConverter>;

class SRMultiAFConverter
    : public SRMultiBufferUnitConverter<SRBufferUnitConverter<SRAFConverter>, SRAFStage, SRAFConverterPars> {
public:
    // Validates the formats (101/102), keeps the rate-converter kind of an
    // SRPCMConverterParams record (0 for a plain record) and plans the chain.
    explicit SRMultiAFConverter(const SRAFConverterPars& pars);

    void PlanStages() override;
    void CreateConverter(const SRAFConverterPars& record) override;
    virtual std::unique_ptr<SRAFConverterPars> MakeStageParams(const AudioFormatSide& a, const AudioFormatSide& b);

    // The stages complete their own partial units.
    void CompleteLastUnit(SRJBuffer&) override {}

    int32_t RateConverterKind() const { return m_rateConverterKind; }

private:
    int32_t m_rateConverterKind = 0;
};
