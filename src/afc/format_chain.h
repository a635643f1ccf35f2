// The conversion behind a stream handle: the chain of format stages between
// two audio formats, and the converter that feeds it input of any length.
#pragma once

#include <memory>
#include <mutex>

#include "afc/buffers.h"
#include "afc/planning.h"
#include "afc/sample_formats.h"
#include "afc/support.h"

// The chain between two audio formats: at most a type stage from a
// compressed source to PCM, a PCM stage, and a type stage from PCM to a
// compressed destination. Between two PCM formats it is one PCM stage, or
// none when the formats are equal.
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

private:
    int32_t m_rateConverterKind = 0;
};

// The converter behind a conversion handle: takes input of any length,
// passes whole units to the chain and holds back the rest (fewer than one
// input unit) for the next call. Every public operation runs under the
// handle's lock.
class SRFreeInputAFConverter : public SRAFConverter {
public:
    explicit SRFreeInputAFConverter(const SRAFConverterPars& pars);
    ~SRFreeInputAFConverter() override;

    void Convert(SRJBuffer& in, SRJBuffer& out) override;
    void Initialize() override {}
    // ceil(input / input unit) x output unit.
    virtual uint32_t GetOutputSizeFor(const uint32_t& inputBytes);

private:
    std::unique_ptr<SRMultiAFConverter> m_chain;
    std::unique_ptr<SRDataBlockFlowConverter<SRJBuffer>> m_carrier;
    SRJBuffer m_work;
    std::mutex m_mutex;
};
