#include "api/result_codes.h"

#include "OrvaneVktapiUtil.h"

// The table itself lives in the public helper header, so that callers of the
// C interface, the orvkt tool and the library's trace show the same texts.
namespace vkt {

const char* result_message(uint32_t code) { return orvkt_result_message(code); }

const char* result_name(uint32_t code) { return orvkt_result_name(code); }

}  // namespace vkt
