// One-line trace calls for the library's own code. Each macro passes the
// module name, the calling file's name (without directory and extension,
// worked out at compile time from __FILE__) and the line to the trace-log
// component. The library never looks at what the component does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "trace/xkrvlog.h"

namespace vkt::trace {

inline constexpr const char kModule[] = "ORVANEVKTAPI.DLL";

template <std::size_t N>
struct FileName {
    char text[N]{};
};

// "src/dss/CDSSFILE.cpp" -> "CDSSFILE"
template <std::size_t N>
consteval FileName<N> file_name(const char (&path)[N]) {
    std::size_t begin = 0;
    for (std::size_t i = 0; i + 1 < N; ++i)
        if (path[i] == '/' || path[i] == '\\') begin = i + 1;
    std::size_t end = N - 1;
    for (std::size_t i = N - 1; i > begin; --i)
        if (path[i - 1] == '.') {
            end = i - 1;
            break;
        }
    FileName<N> out;
    for (std::size_t i = begin; i < end; ++i) out.text[i - begin] = path[i];
    return out;
}

// Values reach the component as 64-bit integers; pointers (for "%s" and
// "%p") as their address.
template <typename T>
inline int64_t value(T v) {
    if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>)
        return static_cast<int64_t>(reinterpret_cast<intptr_t>(v));
    else if constexpr (std::is_enum_v<T>)
        return static_cast<int64_t>(static_cast<std::underlying_type_t<T>>(v));
    else
        return static_cast<int64_t>(v);
}

}  // namespace vkt::trace

#define VKT_TRACE_FILE                                                              \
    ([]() -> const char* {                                                          \
        static constexpr auto vkt_trace_file_ = ::vkt::trace::file_name(__FILE__); \
        return vkt_trace_file_.text;                                                \
    }())

#define VKT_TRACE_TEXT(text) ::TraceText(::vkt::trace::kModule, VKT_TRACE_FILE, __LINE__, (text))
#define VKT_TRACE_PARAM(name, format, v) \
    ::TraceParam(::vkt::trace::kModule, VKT_TRACE_FILE, __LINE__, (name), (format), ::vkt::trace::value(v))
#define VKT_TRACE_MESSAGE(text) \
    ::TraceMessage(::vkt::trace::kModule, VKT_TRACE_FILE, __LINE__, "", (text))
#define VKT_TRACE_WARNING(text) \
    ::TraceWarning(::vkt::trace::kModule, VKT_TRACE_FILE, __LINE__, (text))
#define VKT_TRACE_VALUE(name, format, v) \
    ::TraceValue(::vkt::trace::kModule, VKT_TRACE_FILE, __LINE__, (name), (format), ::vkt::trace::value(v))
#define VKT_TRACE_ERROR(code, text)                                                       \
    ::TraceError(::vkt::trace::kModule, VKT_TRACE_FILE, __LINE__, static_cast<uint32_t>(code), \
                 (text))
