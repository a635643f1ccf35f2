// A byte buffer that either owns its storage or works in storage that the
// caller owns ("outer" storage). Outer storage never grows: asking for more
// than it holds is an error, which is how a too-small destination shows.
#pragma once

#include <cstdint>
#include <memory>

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
