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

namespace orvkt_cli {

// Why a UTF-8 text does not fit a Windows-1252 field of n characters ("the
// character '😀' (U+1F600) has no Windows-1252 form"), or "" when it fits.
std::string ansi_field_problem(const std::string& text, size_t n);

// "YYMMDD" from YYMMDD or 2026-12-04; "HHMMSS" from HHMMSS or 14:03:00.
// False when the value is neither or names no real date or time.
bool parse_date(const std::string& value, std::string& digits);
bool parse_time(const std::string& value, std::string& digits);

// A point of time in a recording: 5000 or 5000ms (milliseconds), 5s or
// 5.25s, 1:05 or 1:05.5 (minutes:seconds), 1:02:03 (hours:minutes:seconds).
bool parse_offset(const std::string& value, uint32_t& ms);
// The same written back: "5s", "5.25s", "1:05", "1:02:03.5".
std::string offset_text(uint32_t ms);

}  // namespace orvkt_cli
