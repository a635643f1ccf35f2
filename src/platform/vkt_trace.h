// One-line trace calls for the library's own code. Each macro passes the
// module name, the trace unit and the line to the trace-log component. The
// library never looks at what the component does.
//
// A source file that traces names its unit once, after its includes:
//     VKT_TRACE_UNIT("CDSSFILE");
// The unit is the name the log shows; it need not be the file's name, so a
// file can be renamed or split without changing a single trace line. A
// function that keeps the unit of the file it came from restates it at the
// top of its body with VKT_TRACE_UNIT_HERE("MP3Splitter").
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "trace/xkrvlog.h"

namespace vkt::trace {

inline constexpr const char kModule[] = "ORVANEVKTAPI.DLL";

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

#define VKT_TRACE_UNIT(name)                                         \
    namespace {                                                      \
    [[maybe_unused]] constexpr const char vkt_trace_unit[] = name;   \
    }                                                                \
    static_assert(true)
#define VKT_TRACE_UNIT_HERE(name) \
    [[maybe_unused]] static constexpr const char vkt_trace_unit[] = name

// The unit in force where a trace macro stands.
#define VKT_TRACE_UNIT_NAME vkt_trace_unit

#define VKT_TRACE_TEXT(text) ::TraceText(::vkt::trace::kModule, VKT_TRACE_UNIT_NAME, __LINE__, (text))
#define VKT_TRACE_PARAM(name, format, v) \
    ::TraceParam(::vkt::trace::kModule, VKT_TRACE_UNIT_NAME, __LINE__, (name), (format), ::vkt::trace::value(v))
#define VKT_TRACE_MESSAGE(text) \
    ::TraceMessage(::vkt::trace::kModule, VKT_TRACE_UNIT_NAME, __LINE__, "", (text))
#define VKT_TRACE_WARNING(text) \
    ::TraceWarning(::vkt::trace::kModule, VKT_TRACE_UNIT_NAME, __LINE__, (text))
#define VKT_TRACE_VALUE(name, format, v) \
    ::TraceValue(::vkt::trace::kModule, VKT_TRACE_UNIT_NAME, __LINE__, (name), (format), ::vkt::trace::value(v))
#define VKT_TRACE_ERROR(code, text)                                                       \
    ::TraceError(::vkt::trace::kModule, VKT_TRACE_UNIT_NAME, __LINE__, static_cast<uint32_t>(code), \
                 (text))
