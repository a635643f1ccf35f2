#include "api/not_available.h"

#include <string>

#include "OrvaneVktapi.h"
#include "platform/vkt_trace.h"

namespace vkt::api {

uint32_t not_available(const char* export_name) {
    std::string text = std::string(export_name) + " not available";
    VKT_TRACE_ERROR(VKT_ERR, text.c_str());
    return VKT_ERR;
}

}  // namespace vkt::api
