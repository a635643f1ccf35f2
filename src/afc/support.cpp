#include "afc/support.h"

#include <algorithm>
#include <cstring>

SText::SText(const char* text) {
    if (!text) return;
    const size_t n = strnlen(text, kMaxLength);
    assign(text, static_cast<int32_t>(n));
}

SText::SText(const SText& other) { *this = other; }

SText& SText::operator=(const SText& other) {
    if (this == &other) return *this;
    // A copy trusts neither field alone: the length field and the actual
    // string may disagree, and the shorter one wins.
    int32_t n = 0;
    if (other.m_text) {
        const size_t actual = strnlen(other.m_text.get(), static_cast<size_t>(other.m_allocated));
        n = std::min(other.m_length, static_cast<int32_t>(actual));
    }
    if (n <= 0) {
        m_text.reset();
        m_length = 0;
        m_allocated = 0;
    } else {
        assign(other.m_text.get(), n);
    }
    return *this;
}

void SText::assign(const char* text, int32_t length) {
    auto copy = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
    std::memcpy(copy.get(), text, static_cast<size_t>(length));
    copy[static_cast<size_t>(length)] = '\0';
    m_text = std::move(copy);
    m_length = length;
    m_allocated = length + 1;
}
