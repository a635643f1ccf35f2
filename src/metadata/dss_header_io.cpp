#include "metadata/dss_header_io.h"

#include "OrvaneVktapi.h"
#include "platform/vkt_trace.h"

// The DSS file object is not part of this build yet: every DSS access
// reports a general failure until it is.
namespace {
uint32_t not_built(const char* what) {
    VKT_TRACE_ERROR(VKT_ERR, what);
    return VKT_ERR;
}
}  // namespace

uint32_t ReadDssHeaderImage(const char*, uint8_t*, uint32_t, uint32_t* length) {
    *length = 0;
    return not_built("DSS header access not available");
}
uint32_t WriteDssHeaderImage(const char*, const uint8_t*, uint32_t) { return not_built("DSS header access not available"); }
uint32_t ReadDssCompressionId(const char*, uint16_t*) { return not_built("DSS header access not available"); }
uint32_t ReadDssMarkers(const char*, uint8_t*) { return not_built("DSS header access not available"); }
uint32_t WriteDssMarkers(const char*, const uint8_t*) { return not_built("DSS header access not available"); }
