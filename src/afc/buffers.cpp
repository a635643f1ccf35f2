#include "afc/buffers.h"

#include <cstring>

#include "afc/support.h"

void SRJBuffer::ReleaseBuffer() {
    m_outer = nullptr;
    m_own.reset();
    m_capacity = 0;
    m_size = 0;
}

void SRJBuffer::SetBuffer(uint8_t* pointer, uint32_t bytes) {
    if (m_own) throw SException(afc_error::kBufferInUse, "SRJBuffer", "SetBuffer", "SRJBuffer object is already used!");
    ReleaseBuffer();
    if (!pointer) throw SException(afc_error::kInvalidOuterBuffer, "SRJBuffer", "SetBuffer", "Invalid outer buffer!");
    m_outer = pointer;
    m_capacity = bytes;
    m_size = bytes;
}

void SRJBuffer::SetSizeBytes(uint32_t bytes) {
    if (bytes <= m_capacity) {
        if (bytes > m_size) std::memset(GetBufferPtr() + m_size, 0, bytes - m_size);
    } else {
        if (m_outer) throw SException(afc_error::kWrongBufferSize, "SRJBuffer", "SetSizeBytes", "Wrong buffer size!");
        auto grown = std::make_unique_for_overwrite<uint8_t[]>(bytes);
        if (m_size) std::memcpy(grown.get(), m_own.get(), m_size);
        std::memset(grown.get() + m_size, 0, bytes - m_size);
        m_own = std::move(grown);
        m_capacity = bytes;
    }
    m_size = bytes;
}

uint8_t* SRJBuffer::GetBufferPtr() {
    if (m_outer) return m_outer;
    if (m_own) return m_own.get();
    throw SException(afc_error::kInvalidBufferUsage, "SRJBuffer", "GetBufferPtr", "Invalid buffer usage!");
}

SRJBuffer& SRJBuffer::operator=(const SRJBuffer& other) {
    if (this == &other) return *this;
    if (m_outer) {
        if (other.m_capacity > m_capacity)
            throw SException(afc_error::kBufferNotCopied, "SRJBuffer", "operator=", "Buffer can not copied!");
        if (other.m_capacity) std::memcpy(m_outer, other.GetBufferPtr(), other.m_capacity);
    } else {
        m_own.reset();
        if (other.m_capacity) {
            m_own = std::make_unique_for_overwrite<uint8_t[]>(other.m_capacity);
            std::memcpy(m_own.get(), other.GetBufferPtr(), other.m_capacity);
        }
    }
    m_capacity = other.m_capacity;
    m_size = other.m_size;
    return *this;
}
