// Turning the dictation header record and the marker array into text for
// people (UTF-8) and JSON for machines, and user input back into records.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"

namespace orvkt_cli {

// Header text fields are ANSI (CP1252) bytes, not terminated.
std::string ansi_field_to_utf8(const char* field, size_t n);
// UTF-8 to a CP1252 field of n bytes (zero-padded); false when a character
// has no CP1252 form or the text is too long.
bool utf8_to_ansi_field(const std::string& text, char* field, size_t n);

nlohmann::json header_to_json(const ZRM2HeaderInfo& h);
void print_header(const ZRM2HeaderInfo& h);

struct Marker {
    uint32_t start;
    uint32_t end;
};
// The used entries, up to the first start of 0xFFFFFFFF.
std::vector<Marker> markers_from_array(const uint8_t* array);
void markers_to_array(const std::vector<Marker>& markers, uint8_t* array);
nlohmann::json markers_to_json(const std::vector<Marker>& markers);
// "12.345" seconds
std::string ms_text(uint32_t ms);

}  // namespace orvkt_cli
