// The failure type inside the library: a result code on its way to the
// export (or the file-object operation) that catches it.
#pragma once

#include <cstdint>

namespace vkt {

struct VktError {
    uint32_t code;
};

[[noreturn]] inline void raise(uint32_t code) { throw VktError{code}; }

// Called from a catch (...) block: writes the error line "<place>" with the
// caught code and returns that code. A VktError gives its code, memory
// exhaustion 20, anything else 10.
uint32_t caught_code(const char* file, int line, const char* place) noexcept;

}  // namespace vkt

// `try { ... } VKT_CATCH_RETURN("catched in ORVKTX")` ends an export.
#define VKT_CATCH_RETURN(place) \
    catch (...) { return ::vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, (place)); }
