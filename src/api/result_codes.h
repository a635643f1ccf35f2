// The one table of result codes and their messages.
#pragma once

#include <cstdint>

namespace vkt {

// A short English message for a result code ("wrong or missing password");
// "unknown result code" for codes outside the table.
const char* result_message(uint32_t code);
// The constant's name ("VKT_ERR_PASSWORD"), or null for an unknown code.
const char* result_name(uint32_t code);

}  // namespace vkt
