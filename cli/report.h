// What a person reads when something goes wrong, and the checks made before
// the library is called. Every failure is one line on stderr:
//   orvkt: OPERAND: REASON (code N)
// naming the file the failure concerns; N is the library's result code and
// the exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands.h"

namespace orvkt_cli {

// Prints the failure line and stores code as the exit status (the first
// failure's code stays). Returns code.
uint32_t fail(Context& ctx, const std::string& operand, const std::string& reason, uint32_t code);

// The file a source operand names must exist, be a file and be readable.
bool check_source(Context& ctx, const std::string& path);
// A destination's folder must exist; an existing destination is refused
// unless force is set; a destination that is one of the sources is always
// refused.
bool check_destination(Context& ctx, const std::string& path, bool force,
                       const std::vector<std::string>& sources = {});
// True when both names lead to the same existing file.
bool same_file(const std::string& a, const std::string& b);
bool file_exists(const std::string& path);

// What a file holds by its first bytes: "dss", "ds2", "enc" (encrypted DS2),
// "wav", "mp3", "wma" or "" (unknown or unreadable).
std::string content_kind(const std::string& path);
// The lower-case extension with its dot (".wav"), or "".
std::string lower_extension(const std::string& path);

// The operation a result code came from; it decides which operand a code
// concerns and how to say it.
struct Failure {
    std::string operation;             // "convert", "copy", "join", ...
    std::string source;                // the file read (or the file edited)
    std::string destination;           // the file written, if any
    std::vector<std::string> sources;  // further sources (join)
};

// Reports a non-zero result of the library for the operation in words;
// returns code. Does nothing for 0, and for a cancellation the user asked
// for with Ctrl-C (main reports that).
uint32_t report_result(Context& ctx, const Failure& what, uint32_t code);

// "13 file name missing, ..." for places that list a code with its text.
std::string describe_result(uint32_t code);

// The sources of a join are DSS/DS2 recordings of one mode; false after
// naming the first that is not (code 18, as the library gives it).
bool check_modes(Context& ctx, const std::vector<std::string>& sources);

// The summary line of a command that wrote something, on stdout, unless -q.
void say(const Context& ctx, const std::string& line);

}  // namespace orvkt_cli
