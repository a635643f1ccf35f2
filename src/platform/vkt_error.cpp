#include "platform/vkt_error.h"

#include <new>

#include "platform/vkt_trace.h"

namespace vkt {

uint32_t caught_code(const char* file, int line, const char* place) noexcept {
    uint32_t code = 10;
    try {
        throw;
    } catch (const VktError& e) {
        code = e.code;
    } catch (const std::bad_alloc&) {
        code = 20;
    } catch (...) {
        code = 10;
    }
    ::TraceError(trace::kModule, file, line, code, place);
    return code;
}

}  // namespace vkt
