// The sampling-rate converters on 16-bit samples: the common base (up and
// down factors from the common rate of the two rates), the single stage
// with its recursive low-pass filter, and the chain of single stages with
// small factors that the multi-stage planner builds.
#pragma once

#include <vector>

#include "afc/buffers.h"
#include "afc/filter_design.h"
#include "afc/filter_kernel.h"
#include "afc/planning.h"

// The common base of the rate converters: an up factor L and a down factor
// M from the common rate of the two rates, so that one input unit of M
// samples becomes one output unit of L samples.
class SRSamplingRateConverter : public SRBufferUnitConverter<SRConverter> {
public:
    // 101 for a rate not above 0, 102 for a width other than 8 or 16.
    explicit SRSamplingRateConverter(const SRSamplingRateConverterPars& pars);

    // Copies when the unit sample counts are equal, else splits into units.
    void Convert(SRJBuffer& in, SRJBuffer& out) override;
    // Works out C, L, M and the units.
    void Initialize() override;
    // Pads a partial unit with copies of its last byte.
    void CompleteLastUnit(SRJBuffer& buffer) override;

    uint32_t Bits() const { return m_bits; }
    double CommonRate() const { return m_commonRate; }
    uint32_t UpFactor() const { return m_up; }
    uint32_t DownFactor() const { return m_down; }
    uint32_t InputUnitSamples() const { return m_inputUnitSamples; }
    uint32_t OutputUnitSamples() const { return m_outputUnitSamples; }

protected:
    double m_sourceRate;
    double m_destinationRate;
    uint32_t m_bits;
    double m_commonRate = 0.0;
    uint32_t m_up = 0;
    uint32_t m_down = 0;
    uint32_t m_inputUnitSamples = 0;   // M'
    uint32_t m_outputUnitSamples = 0;  // L'

private:
    SRJBuffer m_partial;
};

// A single-stage rate converter on 16-bit samples: each input sample is
// followed by L - 1 zeros, the stream is low-pass filtered at the common
// rate by a recursive filter (transposed direct form II, single precision),
// and every M-th filtered sample, scaled by L, becomes an output sample.
// Filter state and phases carry over from call to call.
class SRSimpleSRConverter : public SRSamplingRateConverter {
public:
    // 101/102 for bad rates or widths (only 16 bits are filtered), 201 when
    // the rates need a filter and the designer gives no usable one.
    explicit SRSimpleSRConverter(const SRSamplingRateConverterPars& pars);

    // Recomputes the factors and designs the filter again; the state stays.
    void Initialize() override;
    void ConvertUnits(SRJBuffer& in, SRJBuffer& out) override;
    // Elliptic low-pass of order 6, 1 dB ripple, 60 dB attenuation, edge at
    // the lower of the two Nyquist frequencies; no filter when L = M = 1.
    virtual void SpecifyFilter();
    // Points `task` at this stage's filter and phases when the fast order-6
    // loop applies (order 6, at the start of an input sample); the caller
    // fills in the samples.
    bool MakeFilterTask(SRFilterTask& task);

protected:
    SRFilterSpecification m_spec;

private:
    void DesignAndInstall();

    SRFilterDesigner m_designer;
    SRFilterDesigner::Coefficients m_denominator;
    SRFilterDesigner::Coefficients m_numerator;
    uint16_t m_order = 0;
    // Working coefficients, indices 1 ... N + 1.
    std::vector<float> m_a;  // N + 2
    std::vector<float> m_b;  // N + 2
    std::vector<float> m_s;  // N + 1
    uint32_t m_downPhase = 0;
    uint32_t m_upPhase = 0;
};

// A rate converter made of a chain of single-stage converters with small
// factors: optional power-of-two pre- or post-stages from a fixed table,
// fixed middle paths for a few rate pairs, and otherwise one stage per
// pairing of the prime factors of the overall up and down factors.
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
