// A short owned text for error reports: at most 100 characters are kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

class SText {
public:
    static constexpr int32_t kMaxLength = 100;

    SText() = default;
    // Copies the zero-terminated text, cut to its first 100 characters.
    explicit SText(const char* text);
    SText(const SText& other);
    SText& operator=(const SText& other);
    SText(SText&&) noexcept = default;
    SText& operator=(SText&&) noexcept = default;
    ~SText() = default;

    int32_t Length() const { return m_length; }
    // Never null: an empty text reads as "".
    const char* c_str() const { return m_text ? m_text.get() : ""; }
    std::string_view view() const { return {c_str(), static_cast<size_t>(m_length)}; }

private:
    void assign(const char* text, int32_t length);

    int32_t m_length = 0;
    std::unique_ptr<char[]> m_text;
    int32_t m_allocated = 0;  // m_length + 1 while a copy is held
};
