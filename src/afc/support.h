// The error type of the audio format conversion library and its error
// numbers.
#pragma once

#include <cstdint>
#include <string_view>

// The one error type of the library: a 16-bit error number with the class
// and operation that raised it and a message, all texts that live as long
// as the program. Thrown by value, caught by reference; only the
// AFC_stream... entry functions catch it and turn it into their result.
class SException {
public:
    SException(uint16_t code, const char* className, const char* method, const char* message)
        : m_code(code), m_class(className), m_method(method), m_message(message) {}

    uint16_t Code() const { return m_code; }
    std::string_view ClassName() const { return m_class; }
    std::string_view Method() const { return m_method; }
    std::string_view Message() const { return m_message; }

private:
    uint16_t m_code;
    const char* m_class;
    const char* m_method;
    const char* m_message;
};

// The error numbers raised inside the library.
namespace afc_error {
inline constexpr uint16_t kInvalidWaveFormat = 101;
inline constexpr uint16_t kNotSupportedWaveFormat = 102;
inline constexpr uint16_t kConverterMismatch = 103;
inline constexpr uint16_t kNotSupportedBits = 104;
// The rate converter got no usable filter from the designer.
inline constexpr uint16_t kNoFilterDesign = 201;
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
