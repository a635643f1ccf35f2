// The converter framework: the abstract converter, the converter between
// two audio formats, and the two layers that give a converter buffer units
// (the smallest input that turns into a whole number of output bytes) and
// split any buffer into whole units.
#pragma once

#include <cstdint>
#include <memory>

#include "afc/SRConverterPars.h"
#include "afc/SRJBuffer.h"
#include "afc/SRNaturalNumberUtils.h"

class SRConverter {
public:
    virtual ~SRConverter() = default;
    SRConverter() = default;
    SRConverter(const SRConverter&) = delete;
    SRConverter& operator=(const SRConverter&) = delete;

    virtual void Reset() = 0;
    virtual void Convert(SRJBuffer& in, SRJBuffer& out) = 0;
    virtual void Initialize() = 0;
};

// A converter between two audio formats. Construction checks that both
// rates are above 0 (101) and both sides are mono (102).
class SRAFConverter : public SRConverter {
public:
    SRAFConverter() = default;
    explicit SRAFConverter(const SRAFConverterPars& pars);

    const AudioFormatSide& SourceFormat() const { return m_source; }
    const AudioFormatSide& DestinationFormat() const { return m_destination; }

protected:
    AudioFormatSide m_source;
    AudioFormatSide m_destination;
};

template <class Base>
class SRConverterProvidingBufferUnitSizes : public Base {
public:
    using Base::Base;

    // Bytes of one input unit and of the output unit it becomes.
    virtual uint32_t& GetInputBufferUnitSize() { return m_inputBufferUnit; }
    virtual uint32_t& GetOutputBufferUnitSize() { return m_outputBufferUnit; }

protected:
    uint32_t m_inputBufferUnit = 0;
    uint32_t m_outputBufferUnit = 0;
};

// Makes `view` a window of `bytes` bytes into `buffer` from `offset`.
inline void SetView(SRJBuffer& view, SRJBuffer& buffer, uint32_t offset, uint32_t bytes) {
    view.SetBuffer(buffer.GetBufferPtr() + offset, bytes);
}

template <class Base>
class SRBufferUnitConverter : public SRConverterProvidingBufferUnitSizes<Base> {
public:
    using SRConverterProvidingBufferUnitSizes<Base>::SRConverterProvidingBufferUnitSizes;

    // `in` holds whole input units; `out` is already sized for them.
    virtual void ConvertUnits(SRJBuffer& in, SRJBuffer& out) = 0;
    // Turns a buffer of less than one input unit into one whole unit.
    virtual void CompleteLastUnit(SRJBuffer& buffer) = 0;

    // Converts the whole units of `in`; a trailing partial unit is completed
    // and converted as one more unit, so it yields a full output unit.
    void Convert(SRJBuffer& in, SRJBuffer& out) override {
        const uint32_t n = in.GetSizeBytes();
        if (n == 0) {
            out.SetSizeBytes(0);
            return;
        }
        const uint32_t unitIn = this->GetInputBufferUnitSize();
        const uint32_t unitOut = this->GetOutputBufferUnitSize();
        const uint32_t q = n / unitIn;
        const uint32_t whole = q * unitIn;
        const bool partial = whole < n;
        out.SetSizeBytes((q + (partial ? 1 : 0)) * unitOut);
        if (!partial) {
            ConvertUnits(in, out);
            return;
        }
        if (q > 0) {
            SRJBuffer inPart, outPart;
            SetView(inPart, in, 0, whole);
            SetView(outPart, out, 0, q * unitOut);
            ConvertUnits(inPart, outPart);
        }
        SRJBuffer last, lastOut;
        SetView(last, in, whole, n - whole);
        CompleteLastUnit(last);
        SetView(lastOut, out, q * unitOut, unitOut);
        ConvertUnits(last, lastOut);
    }

protected:
    SRNaturalNumberUtils& NaturalNumbers() { return *m_naturalNumbers; }

private:
    std::unique_ptr<SRNaturalNumberUtils> m_naturalNumbers = std::make_unique<SRNaturalNumberUtils>();
};
