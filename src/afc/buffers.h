// Bytes and the units they are converted in: the byte buffer, the converter
// interface, the layers that give a converter buffer units (the smallest
// input that turns into a whole number of output bytes) and split any
// buffer into whole units, the chain of such converters, and the carrier
// that holds a stream's bytes across calls until a whole unit has come
// together.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "afc/planning.h"

// A byte buffer that either owns its storage or works in storage that the
// caller owns ("outer" storage). Outer storage never grows: asking for more
// than it holds is an error, which is how a too-small destination shows.
class SRJBuffer {
public:
    SRJBuffer() = default;
    virtual ~SRJBuffer() = default;
    SRJBuffer(const SRJBuffer&) = delete;

    // Forgets outer storage, frees own storage; capacity and size become 0.
    virtual void ReleaseBuffer();
    // Works in the caller's bytes from now on: capacity = size = bytes.
    virtual void SetBuffer(uint8_t* pointer, uint32_t bytes);
    // Sets the size; bytes newly exposed are zero. Own storage grows as
    // needed, outer storage raises 303 when too small.
    virtual void SetSizeBytes(uint32_t bytes);
    virtual uint8_t* GetBufferPtr();
    const uint8_t* GetBufferPtr() const { return const_cast<SRJBuffer*>(this)->GetBufferPtr(); }
    virtual uint32_t GetSizeBytes() const { return m_size; }
    // Copies another buffer's bytes (its whole capacity) and its size.
    virtual SRJBuffer& operator=(const SRJBuffer& other);

    uint32_t GetCapacityBytes() const { return m_capacity; }
    bool HasOuterStorage() const { return m_outer != nullptr; }

private:
    uint8_t* m_outer = nullptr;
    std::unique_ptr<uint8_t[]> m_own;
    uint32_t m_capacity = 0;
    uint32_t m_size = 0;
};

// The interface of every converter and stage.
class SRConverter {
public:
    virtual ~SRConverter() = default;
    SRConverter() = default;
    SRConverter(const SRConverter&) = delete;
    SRConverter& operator=(const SRConverter&) = delete;

    virtual void Convert(SRJBuffer& in, SRJBuffer& out) = 0;
    virtual void Initialize() = 0;
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

// A converter made of a chain of stage converters, planned once at
// construction. `Base` is the buffer-unit converter it extends (it supplies
// the unit splitter); `Stage` is the stage type with its own unit sizes,
// built from records of type `StagePars`.
template <class Base, class Stage, class StagePars>
class SRMultiBufferUnitConverter : public Base {
public:
    using Base::Base;

    virtual void PlanStages() = 0;
    virtual void CreateConverters() {
        m_stages.clear();
        for (const auto& record : m_stagePars) CreateConverter(*record);
    }
    virtual void CreateConverter(const StagePars& record) = 0;

    // The chain's units: the least input that every stage turns into whole
    // units of its own.
    virtual void ComputeBufferUnits() {
        const size_t n = m_stages.size();
        if (n == 0) {
            this->GetInputBufferUnitSize() = 1;
            this->GetOutputBufferUnitSize() = 1;
            return;
        }
        uint32_t m = 1;
        for (size_t i = 0; i + 1 < n; ++i) {
            const uint32_t out = m_stages[i]->GetOutputBufferUnitSize();
            const uint32_t lcm = this->NaturalNumbers().Lcm(out, m_stages[i + 1]->GetInputBufferUnitSize());
            m *= lcm / out;
        }
        this->GetInputBufferUnitSize() = m * m_stages[0]->GetInputBufferUnitSize();
        uint32_t k = m;
        for (size_t i = 0; i + 1 < n; ++i)
            k = (k * m_stages[i]->GetOutputBufferUnitSize()) / m_stages[i + 1]->GetInputBufferUnitSize();
        this->GetOutputBufferUnitSize() = k * m_stages[n - 1]->GetOutputBufferUnitSize();
    }

    void Initialize() override {
        PlanStages();
        CreateConverters();
        ComputeBufferUnits();
    }

    // Runs the chain. Each stage writes into one buffer of its own that the
    // next stage reads; the two buffers alternate and are kept from call to
    // call, so a steady stream allocates nothing.
    void ConvertUnits(SRJBuffer& in, SRJBuffer& out) override {
        const size_t n = m_stages.size();
        if (n == 0) {
            out = in;
            return;
        }
        if (n == 1) {
            m_stages[0]->Convert(in, out);
            return;
        }
        SRJBuffer* from = &m_between[0];
        SRJBuffer* to = &m_between[1];
        m_stages[0]->Convert(in, *from);
        for (size_t i = 1; i + 1 < n; ++i) {
            m_stages[i]->Convert(*from, *to);
            std::swap(from, to);
        }
        m_stages[n - 1]->Convert(*from, out);
    }

    const std::vector<std::unique_ptr<Stage>>& StageConverters() const { return m_stages; }

protected:
    std::vector<std::unique_ptr<StagePars>> m_stagePars;
    std::vector<std::unique_ptr<Stage>> m_stages;

private:
    SRJBuffer m_between[2];
};

// Carries a byte stream across calls in whole units: each call hands on the
// whole units of (bytes held from before + new bytes) and keeps the rest,
// always fewer than one unit, for the next call.
template <class Buffer>
class SRDataBlockFlowConverter {
public:
    explicit SRDataBlockFlowConverter(uint32_t unit) : m_unit(unit) {
        // Room for small units from the start, so that they never reallocate.
        for (Buffer* b : {m_carried.get(), m_previous.get()}) {
            b->SetSizeBytes(std::max<uint32_t>(unit, 100));
            b->SetSizeBytes(0);
        }
    }
    virtual ~SRDataBlockFlowConverter() = default;
    SRDataBlockFlowConverter(const SRDataBlockFlowConverter&) = delete;
    SRDataBlockFlowConverter& operator=(const SRDataBlockFlowConverter&) = delete;

    // Fills `work` with the whole units of the held bytes followed by `in`
    // and keeps the rest; returns the size of `work` (0 when less than one
    // unit has come together).
    uint32_t Take(Buffer& in, Buffer& work) {
        std::swap(m_previous, m_carried);
        m_carried->SetSizeBytes(0);
        const uint32_t previous = m_previous->GetSizeBytes();
        const uint32_t current = in.GetSizeBytes();
        const uint64_t total = static_cast<uint64_t>(previous) + current;
        uint32_t whole = 0;
        if (total >= m_unit) {
            whole = static_cast<uint32_t>(total / m_unit * m_unit);
            const uint32_t end = whole - previous;  // where the whole part ends in `in`
            m_carried->SetSizeBytes(current - end);
            if (current > end) std::memcpy(m_carried->GetBufferPtr(), in.GetBufferPtr() + end, current - end);
            work.SetSizeBytes(whole);
            uint8_t* w = work.GetBufferPtr();
            if (previous) std::memcpy(w, m_previous->GetBufferPtr(), previous);
            if (end) std::memcpy(w + previous, in.GetBufferPtr(), end);
        } else {
            m_carried->SetSizeBytes(static_cast<uint32_t>(total));
            if (previous) std::memcpy(m_carried->GetBufferPtr(), m_previous->GetBufferPtr(), previous);
            if (current) std::memcpy(m_carried->GetBufferPtr() + previous, in.GetBufferPtr(), current);
            work.SetSizeBytes(0);
        }
        m_previous->SetSizeBytes(0);
        return whole;
    }

private:
    uint32_t m_unit;
    std::unique_ptr<Buffer> m_carried = std::make_unique<Buffer>();   // held for the next call
    std::unique_ptr<Buffer> m_previous = std::make_unique<Buffer>();  // during a call: what was held before it
};
