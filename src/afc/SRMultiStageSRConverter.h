// A rate converter made of a chain of single-stage converters with small
// factors: optional power-of-two pre- or post-stages from a fixed table,
// fixed middle paths for a few rate pairs, and otherwise one stage per
// pairing of the prime factors of the overall up and down factors.
#pragma once

#include <vector>

#include "afc/SRMultiBufferUnitConverter.h"
#include "afc/SRSamplingRateConverter.h"

class SRMultiStageSRConverter
    : public SRMultiBufferUnitConverter<SRSamplingRateConverter, SRSamplingRateConverter,
                                        SRSamplingRateConverterPars> {
public:
    using FactorList = SRNaturalNumberUtils::FactorList;

    struct PrePostStages {
        double preIn = 1.0;
        double preOut = 1.0;
        double postIn = 1.0;
        double postOut = 1.0;
    };

    explicit SRMultiStageSRConverter(const SRSamplingRateConverterPars& pars);

    // Plans, builds the stages and works out the chain's units.
    void Initialize() override;
    void PlanStages() override;
    void CreateConverter(const SRSamplingRateConverterPars& record) override;
    virtual void PlanRateStages();
    virtual PrePostStages ChoosePrePostStages(double source, double destination);
    // Multiplies factors pairwise, outside in, until `target` are left.
    virtual FactorList ReduceFactorList(const FactorList& list, size_t target);
    // Appends the stages from `current` for the rate pair (rIn, rOut).
    virtual void BuildMiddleStages(double rIn, double rOut, const std::vector<double>& ratios, double& current);

private:
    void AddStage(double from, double to);
};
