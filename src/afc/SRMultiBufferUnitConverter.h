// A converter made of a chain of stage converters, planned once at
// construction. `Base` is the buffer-unit converter it extends (it supplies
// the unit splitter); `Stage` is the stage type with its own unit sizes,
// built from records of type `StagePars`.
#pragma once

#include <memory>
#include <vector>

#include "afc/SRConverter.h"

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

    void Reset() override {
        for (auto& stage : m_stages) stage->Reset();
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

    const std::vector<std::unique_ptr<StagePars>>& StageParams() const { return m_stagePars; }
    const std::vector<std::unique_ptr<Stage>>& StageConverters() const { return m_stages; }

protected:
    std::vector<std::unique_ptr<StagePars>> m_stagePars;
    std::vector<std::unique_ptr<Stage>> m_stages;

private:
    SRJBuffer m_between[2];
};
