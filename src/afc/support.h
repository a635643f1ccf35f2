// What every part of the audio format conversion library uses: the error
// type, the bounded text its reports carry, and the lock of a conversion
// handle.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

// A short owned text for error reports: at most 100 characters are kept.
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

// The one error type of the library: a 16-bit error number with the class
// and operation that raised it and a message. Thrown by value, caught by
// reference; only the AFC_stream... entry functions catch it and turn it
// into their result.
class SException {
public:
    SException(uint16_t code, const char* className, const char* method, const char* message)
        : m_code(code), m_method(method), m_class(className), m_message(message) {}
    virtual ~SException() = default;
    SException(const SException&) = default;
    SException& operator=(const SException&) = default;

    uint16_t Code() const { return m_code; }
    const SText& Method() const { return m_method; }
    const SText& ClassName() const { return m_class; }
    const SText& Extra() const { return m_extra; }
    const SText& Message() const { return m_message; }

private:
    uint16_t m_code;
    SText m_method;
    SText m_class;
    SText m_extra;  // no raise fills it
    SText m_message;
};

// The error numbers raised inside the library.
namespace afc_error {
inline constexpr uint16_t kInvalidWaveFormat = 101;
inline constexpr uint16_t kNotSupportedWaveFormat = 102;
inline constexpr uint16_t kConverterMismatch = 103;
inline constexpr uint16_t kNotSupportedBits = 104;
// The rate converter got no usable filter from the designer.
inline constexpr uint16_t kNoFilterDesign = 201;
inline constexpr uint16_t kNoDesignedFilter = 202;
inline constexpr uint16_t kBufferInUse = 301;
inline constexpr uint16_t kInvalidOuterBuffer = 302;
inline constexpr uint16_t kWrongBufferSize = 303;
inline constexpr uint16_t kInvalidBufferUsage = 304;
inline constexpr uint16_t kBufferNotCopied = 305;
inline constexpr uint16_t kNaturalNumberNotFound = 401;
inline constexpr uint16_t kZeroInput = 402;
}  // namespace afc_error

// Shorthands for the two wave-format errors that several classes raise with
// their own name as class and method.
[[noreturn]] inline void RaiseInvalidWaveFormat(const char* className) {
    throw SException(afc_error::kInvalidWaveFormat, className, className, "Invalid wave format!");
}
[[noreturn]] inline void RaiseNotSupportedWaveFormat(const char* className) {
    throw SException(afc_error::kNotSupportedWaveFormat, className, className, "Not supported wave format!");
}

// The lock of a conversion handle.
class SMutexBase {
public:
    virtual ~SMutexBase() = default;
    virtual bool Lock(uint32_t timeout) = 0;
    virtual bool Unlock() = 0;
};

// Waits as long as it takes: the timeout is accepted and ignored.
class SSimpleMutex final : public SMutexBase {
public:
    bool Lock(uint32_t /*timeout*/) override {
        m_mutex.lock();
        return true;
    }
    bool Unlock() override {
        m_mutex.unlock();
        return true;
    }

private:
    std::mutex m_mutex;
};

// Holds an SMutexBase locked for one scope.
class SLockGuard {
public:
    explicit SLockGuard(SMutexBase& mutex) : m_mutex(mutex) { m_mutex.Lock(0xFFFFFFFFu); }
    ~SLockGuard() { m_mutex.Unlock(); }
    SLockGuard(const SLockGuard&) = delete;
    SLockGuard& operator=(const SLockGuard&) = delete;

private:
    SMutexBase& m_mutex;
};
