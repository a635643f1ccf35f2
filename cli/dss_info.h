// What orvkt info tells about a DSS or DS2 file.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace orvkt_cli {

std::string dss_kind_of(const std::string& path);
// Fills compression id and name, length, encryption and header count.
uint32_t dss_audio(const std::string& path, nlohmann::json* out);

}  // namespace orvkt_cli

namespace orvkt_cli {
// "standard play", "long play (G.723.1)", "long play", "quality play".
std::string dss_mode_words(unsigned compression_id);
}  // namespace orvkt_cli
