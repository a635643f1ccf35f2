#include "platform/vkt_error.h"

#include <new>

#include "OrvaneVktapi.h"
#include "platform/vkt_trace.h"

namespace vkt {

uint32_t caught_code(const char* file, int line, const char* place) noexcept {
    uint32_t code = VKT_ERR;
    try {
        throw;
    } catch (const VktError& e) {
        code = e.code;
    } catch (const std::bad_alloc&) {
        code = VKT_ERR_OUT_OF_MEMORY;
    } catch (...) {
        code = VKT_ERR;
    }
    ::TraceError(trace::kModule, file, line, code, place);
    return code;
}

}  // namespace vkt
