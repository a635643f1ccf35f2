// The converter behind a conversion handle: takes input of any length,
// passes whole units to the chain and holds back the rest (fewer than one
// input unit) for the next call. Every public operation runs under the
// handle's lock.
#pragma once

#include <memory>

#include "afc/SRDataBlockFlowConverter.h"
#include "afc/SRMultiAFConverter.h"
#include "afc/SSimpleMutex.h"

class SRFreeInputAFConverter : public SRAFConverter {
public:
    explicit SRFreeInputAFConverter(const SRAFConverterPars& pars);
    ~SRFreeInputAFConverter() override;

    // Clears held bytes and the chain's filter histories.
    void Reset() override;
    void Convert(SRJBuffer& in, SRJBuffer& out) override;
    void Initialize() override {}
    // ceil(input / input unit) x output unit.
    virtual uint32_t GetOutputSizeFor(const uint32_t& inputBytes);
    // ceil(output / output unit) x input unit.
    virtual uint32_t GetInputSizeFor(const uint32_t& outputBytes);
    // Converts the held bytes, completing the last unit.
    virtual void Flush(SRJBuffer& out);
    virtual uint32_t GetHeldOutputSize();

    const SRMultiAFConverter& Chain() const { return *m_chain; }
    SRMultiAFConverter& Chain() { return *m_chain; }

private:
    std::unique_ptr<SRMultiAFConverter> m_chain;
    std::unique_ptr<SRDataBlockFlowConverter<SRJBuffer>> m_carrier;
    SRJBuffer m_work;
    SSimpleMutex m_mutex;
};
