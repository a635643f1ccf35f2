// Turning result codes into what a person reads.
#pragma once

#include <cstdint>
#include <string>

namespace orvkt_cli {

// "44 wrong or missing password"
std::string describe_result(uint32_t code);
// Prints "orvkt: <what>: <code> <message>" on stderr unless code is 0; returns code.
uint32_t report_failure(const std::string& what, uint32_t code);

}  // namespace orvkt_cli
