// A rate converter made of a chain of single-stage converters with small
// factors: optional power-of-two pre- or post-stages from a fixed table,
// fixed middle paths for a few rate pairs, and otherwise one stage per
// pairing of the prime factors of the overall up and down factors.
#pragma once

#include <vector>

#include "afc/SRFilterKernel.h"
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

    // Runs the chain; see ConvertPipelined.
    void ConvertUnits(SRJBuffer& in, SRJBuffer& out) override;

private:
    void AddStage(double from, double to);
    // The chain in blocks: in round r stage k works on block r - k, so the
    // stages of one round are independent. With vector lanes the lane chain
    // runs them; otherwise they run two at a time in blocks of a few units.
    // Each stage sees exactly the samples it would see stage after stage.
    // False when the stages are not all order-6 filters at the start of a
    // sample, or (without vector lanes) there is too little to overlap.
    bool ConvertPipelined(SRJBuffer& in, SRJBuffer& out);

    // Two buffers per boundary between stages, kept from call to call.
    std::vector<std::vector<uint8_t>> m_pipe;
    std::vector<SRFilterTask> m_tasks;
    afc_kernel::LaneChain m_laneChain;
    std::vector<afc_kernel::LaneChain::Stage> m_laneStages;
    std::vector<SRFilterTask> m_stageTasks;   // each stage's filter, for a whole call
    std::vector<uint32_t> m_samplesPerUnit;   // per chain unit entering each stage, and leaving the last
};
