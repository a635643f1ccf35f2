#include "report.h"

#include <cstdio>

#include "api/result_codes.h"

namespace orvkt_cli {

std::string describe_result(uint32_t code) { return std::to_string(code) + " " + vkt::result_message(code); }

uint32_t report_failure(const std::string& what, uint32_t code) {
    if (code != 0) std::fprintf(stderr, "orvkt: %s: %s\n", what.c_str(), describe_result(code).c_str());
    return code;
}

}  // namespace orvkt_cli
