// Carries a byte stream across calls in whole units: each call hands on the
// whole units of (bytes held from before + new bytes) and keeps the rest,
// always fewer than one unit, for the next call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

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

    // Drops the held bytes.
    virtual void Reset() {
        m_carried->SetSizeBytes(0);
        m_previous->SetSizeBytes(0);
        m_whole = 0;
        m_consumed = 0;
    }
    // Moves the held bytes into `out` (size 0 when there are none).
    virtual void Flush(Buffer& out) {
        const uint32_t n = m_carried->GetSizeBytes();
        out.SetSizeBytes(n);
        if (n) std::memcpy(out.GetBufferPtr(), m_carried->GetBufferPtr(), n);
        m_carried->SetSizeBytes(0);
    }
    // Bytes taken in but not yet handed on.
    virtual uint32_t HeldBytes() const { return m_whole - m_consumed + m_carried->GetSizeBytes(); }

    // Fills `work` with the whole units of the held bytes followed by `in`
    // and keeps the rest; returns the size of `work` (0 when less than one
    // unit has come together).
    uint32_t Take(Buffer& in, Buffer& work) {
        std::swap(m_previous, m_carried);
        m_carried->SetSizeBytes(0);
        const uint32_t previous = m_previous->GetSizeBytes();
        const uint32_t current = in.GetSizeBytes();
        const uint64_t total = static_cast<uint64_t>(previous) + current;
        m_consumed = 0;
        if (total >= m_unit) {
            m_whole = static_cast<uint32_t>(total / m_unit * m_unit);
            const uint32_t end = m_whole - previous;  // where the whole part ends in `in`
            m_carried->SetSizeBytes(current - end);
            if (current > end) std::memcpy(m_carried->GetBufferPtr(), in.GetBufferPtr() + end, current - end);
            work.SetSizeBytes(m_whole);
            uint8_t* w = work.GetBufferPtr();
            if (previous) std::memcpy(w, m_previous->GetBufferPtr(), previous);
            if (end) std::memcpy(w + previous, in.GetBufferPtr(), end);
            m_consumed = m_whole;
        } else {
            m_whole = 0;
            m_carried->SetSizeBytes(static_cast<uint32_t>(total));
            if (previous) std::memcpy(m_carried->GetBufferPtr(), m_previous->GetBufferPtr(), previous);
            if (current) std::memcpy(m_carried->GetBufferPtr() + previous, in.GetBufferPtr(), current);
            work.SetSizeBytes(0);
        }
        m_previous->SetSizeBytes(0);
        return m_whole;
    }

    uint32_t Unit() const { return m_unit; }

private:
    uint32_t m_unit;
    std::unique_ptr<Buffer> m_carried = std::make_unique<Buffer>();   // held for the next call
    std::unique_ptr<Buffer> m_previous = std::make_unique<Buffer>();  // during a call: what was held before it
    uint32_t m_whole = 0;
    uint32_t m_consumed = 0;
};
