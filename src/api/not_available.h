// Exports whose operation is not built yet answer 10 and say so in the trace.
#pragma once

#include <cstdint>

namespace vkt::api {

uint32_t not_available(const char* export_name);

}  // namespace vkt::api
