#include "xkrvlog.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <sys/time.h>

#include "xkrvlog_capture.h"

namespace xkrvlog {
namespace {

// Closes the log file; standard error is not ours to close.
struct LogFileCloser {
    void operator()(std::FILE* f) const {
        if (f != stderr) std::fclose(f);
    }
};
using LogFile = std::unique_ptr<std::FILE, LogFileCloser>;

struct Component {
    std::mutex mutex;
    Sink sink;
    LogFile out;
    bool env_read = false;
    // Fast path: false while nobody listens, so a call costs one load.
    std::atomic<bool> enabled{false};

    void update_enabled() { enabled.store(static_cast<bool>(sink) || out != nullptr); }

    bool open_out(const std::string& path) {
        out.reset();
        if (path.empty()) return true;
        if (path == "-") {
            out.reset(stderr);
            return true;
        }
        out.reset(std::fopen(path.c_str(), "a"));
        return out != nullptr;
    }
};

// Built on first use and never destroyed: the unload traces run after the
// static destructors, so the holder's destructor leaves the component alone.
Component& component() {
    union Holder {
        Component c;
        Holder() : c() {}
        ~Holder() {}
    };
    static Holder holder;
    return holder.c;
}

void read_environment_once(Component& c) {
    if (c.env_read) return;
    c.env_read = true;
    if (const char* path = std::getenv("XKRVLOG_FILE"); path && *path) {
        c.open_out(path);
        c.update_enabled();
    }
}

const char* level_name(Level level) {
    switch (level) {
        case Level::Start: return "START";
        case Level::Text: return "TEXT";
        case Level::Param: return "PARAM";
        case Level::Message: return "MESSAGE";
        case Level::Warning: return "WARNING";
        case Level::Value: return "VALUE";
        case Level::Error: return "ERROR";
    }
    return "?";
}

std::string safe(const char* s) { return s ? std::string(s) : std::string("(null)"); }

void emit(Line line) {
    Component& c = component();
    std::lock_guard lock(c.mutex);
    if (c.out) {
        timeval tv{};
        gettimeofday(&tv, nullptr);
        tm local{};
        time_t secs = tv.tv_sec;
        localtime_r(&secs, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        std::fprintf(c.out.get(), "%s.%03ld %s\n", stamp, static_cast<long>(tv.tv_usec / 1000),
                     to_text(line).c_str());
        std::fflush(c.out.get());
    }
    if (c.sink) c.sink(line);
}

bool listening() {
    Component& c = component();
    if (c.enabled.load(std::memory_order_relaxed)) return true;
    // XKRVLOG_FILE is looked at once; after that a silent component costs two
    // loads (call_once itself touches thread-local storage on every call).
    static std::atomic<bool> environment_read{false};
    if (environment_read.load(std::memory_order_acquire)) return false;
    static std::once_flag once;
    std::call_once(once, [&c] {
        std::lock_guard lock(c.mutex);
        read_environment_once(c);
    });
    environment_read.store(true, std::memory_order_release);
    return c.enabled.load(std::memory_order_relaxed);
}

Line make(Level level, const char* module, const char* file, int32_t line_no) {
    Line l;
    l.level = level;
    l.module = safe(module);
    l.file = safe(file);
    l.line = line_no;
    return l;
}

}  // namespace

void set_sink(Sink sink) {
    Component& c = component();
    std::lock_guard lock(c.mutex);
    read_environment_once(c);
    c.sink = std::move(sink);
    c.update_enabled();
}

bool set_output_file(const std::string& path) {
    Component& c = component();
    std::lock_guard lock(c.mutex);
    c.env_read = true;  // an explicit choice wins over the variable
    bool ok = c.open_out(path);
    c.update_enabled();
    return ok;
}

std::string format_value(const char* format, int64_t value) {
    char buf[64];
    std::string f = format ? format : "";
    if (f == "%s") {
        const char* text = reinterpret_cast<const char*>(static_cast<intptr_t>(value));
        return safe(text);
    }
    if (f == "%p") {
        std::snprintf(buf, sizeof buf, "%p", reinterpret_cast<void*>(static_cast<intptr_t>(value)));
    } else if (f == "%lu") {
        std::snprintf(buf, sizeof buf, "%" PRIu64, static_cast<uint64_t>(value));
    } else if (f == "%ld") {
        std::snprintf(buf, sizeof buf, "%" PRId64, value);
    } else if (f == "%d") {
        std::snprintf(buf, sizeof buf, "%d", static_cast<int32_t>(value));
    } else if (f == "%u") {
        std::snprintf(buf, sizeof buf, "%u", static_cast<uint32_t>(value));
    } else if (f == "%8x") {
        std::snprintf(buf, sizeof buf, "%8x", static_cast<uint32_t>(value));
    } else if (f == "%8X") {
        std::snprintf(buf, sizeof buf, "%8X", static_cast<uint32_t>(value));
    } else if (f == "%x" || f == "%X") {
        std::snprintf(buf, sizeof buf, f == "%x" ? "%x" : "%X", static_cast<uint32_t>(value));
    } else {
        // An unknown format is shown as a plain number rather than trusted.
        std::snprintf(buf, sizeof buf, "%" PRId64, value);
    }
    return buf;
}

std::string to_text(const Line& line) {
    std::string s = level_name(line.level);
    s += ' ';
    s += line.file;
    s += ':';
    s += std::to_string(line.line);
    s += ' ';
    switch (line.level) {
        case Level::Param:
        case Level::Value: s += line.name + " = " + line.text; break;
        case Level::Error: s += "[" + std::to_string(line.code) + "] " + line.text; break;
        case Level::Start: s += "start " + std::to_string(line.code); break;
        default: s += line.text; break;
    }
    return s;
}

struct Capture::State {
    mutable std::mutex mutex;
    std::vector<Line> lines;
};

Capture::Capture() : state_(std::make_unique<State>()) {
    State* st = state_.get();
    set_sink([st](const Line& l) {
        std::lock_guard lock(st->mutex);
        st->lines.push_back(l);
    });
}

Capture::~Capture() {
    set_sink({});
}

std::vector<Line> Capture::lines() const {
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

void Capture::clear() {
    std::lock_guard lock(state_->mutex);
    state_->lines.clear();
}

bool Capture::contains(const std::string& text) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& l : state_->lines)
        if (l.text == text || l.name == text) return true;
    return false;
}

bool Capture::contains_error(uint32_t code, const std::string& text) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& l : state_->lines)
        if (l.level == Level::Error && l.code == code && l.text == text) return true;
    return false;
}

}  // namespace xkrvlog

using xkrvlog::Level;

extern "C" {

void TraceStart(const char* module, const char* file, int32_t line, uint32_t value) {
    if (!xkrvlog::listening()) return;
    auto l = xkrvlog::make(Level::Start, module, file, line);
    l.code = value;
    xkrvlog::emit(std::move(l));
}

void TraceText(const char* module, const char* file, int32_t line, const char* text) {
    if (!xkrvlog::listening()) return;
    auto l = xkrvlog::make(Level::Text, module, file, line);
    l.text = xkrvlog::safe(text);
    xkrvlog::emit(std::move(l));
}

void TraceParam(const char* module, const char* file, int32_t line, const char* name,
                const char* format, int64_t value) {
    if (!xkrvlog::listening()) return;
    auto l = xkrvlog::make(Level::Param, module, file, line);
    l.name = xkrvlog::safe(name);
    l.text = xkrvlog::format_value(format, value);
    xkrvlog::emit(std::move(l));
}

void TraceMessage(const char* module, const char* file, int32_t line, const char* tag,
                  const char* text) {
    if (!xkrvlog::listening()) return;
    auto l = xkrvlog::make(Level::Message, module, file, line);
    l.name = xkrvlog::safe(tag);
    l.text = xkrvlog::safe(text);
    xkrvlog::emit(std::move(l));
}

void TraceWarning(const char* module, const char* file, int32_t line, const char* text) {
    if (!xkrvlog::listening()) return;
    auto l = xkrvlog::make(Level::Warning, module, file, line);
    l.text = xkrvlog::safe(text);
    xkrvlog::emit(std::move(l));
}

void TraceValue(const char* module, const char* file, int32_t line, const char* name,
                const char* format, int64_t value) {
    if (!xkrvlog::listening()) return;
    auto l = xkrvlog::make(Level::Value, module, file, line);
    l.name = xkrvlog::safe(name);
    l.text = xkrvlog::format_value(format, value);
    xkrvlog::emit(std::move(l));
}

void TraceError(const char* module, const char* file, int32_t line, uint32_t code,
                const char* text) {
    if (!xkrvlog::listening()) return;
    auto l = xkrvlog::make(Level::Error, module, file, line);
    l.code = code;
    l.text = xkrvlog::safe(text);
    xkrvlog::emit(std::move(l));
}

}  // extern "C"
