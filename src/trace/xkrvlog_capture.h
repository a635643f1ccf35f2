// In-process access to the trace log: lets a program (tests, the CLI) see
// every line as a structured record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "xkrvlog.h"

namespace xkrvlog {

enum class Level { Start, Text, Param, Message, Warning, Value, Error };

struct Line {
    Level level = Level::Text;
    std::string module;
    std::string file;
    int32_t line = 0;
    std::string name;   // Param / Value: the variable's name; Message: the tag
    std::string text;   // the text, or the value formatted with its printf format
    uint32_t code = 0;  // Error: the code; Start: the value
};

using Sink = std::function<void(const Line&)>;

// Installs a sink that receives every line (replacing an earlier one); an
// empty function removes it.
XKRVLOG_API void set_sink(Sink sink);

// Writes every line to the named file ("-" for stderr) from now on; an empty
// name stops writing. Returns false when the file cannot be opened. Without
// a call, the variable XKRVLOG_FILE is read once on first use.
XKRVLOG_API bool set_output_file(const std::string& path);

// Formats the value of a Param/Value line the way its printf format says
// ("%s" and "%p" take the value as a pointer).
XKRVLOG_API std::string format_value(const char* format, int64_t value);

// One printable line: "LEVEL file:line text".
XKRVLOG_API std::string to_text(const Line& line);

// Collects lines in memory while it lives. Not nestable with another sink.
class XKRVLOG_API Capture {
public:
    Capture();
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::vector<Line> lines() const;
    void clear();
    // True when some line's text (or name) equals the given text.
    bool contains(const std::string& text) const;
    bool contains_error(uint32_t code, const std::string& text) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace xkrvlog
