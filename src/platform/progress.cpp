#include "platform/progress.h"

#include <cmath>

namespace vkt {

uint32_t Progress::percent(uint32_t start, uint32_t end, uint64_t done, uint64_t total, Rounding rounding) {
    const double from = static_cast<double>(start);
    const double range = static_cast<double>(end) - from;
    double scaled = 0.0;
    if (rounding == Rounding::ShareFirst) {
        const double share = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
        scaled = range * share;
    } else {
        scaled = total == 0 ? 0.0 : range * static_cast<double>(done) / static_cast<double>(total);
    }
    const double value = std::floor(from + scaled + 0.5);
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

bool Progress::report(uint64_t done, uint64_t total) const {
    const uint32_t value = percent_of(done, total);
    // The report of 100 % comes when the work is done: the file is whole,
    // and a cancel at that moment would only throw it away.
    if (value == 100 && done >= total) {
        report_percent(value);
        return false;
    }
    return report_percent(value);
}

bool Progress::report_percent(uint32_t value) const {
    if (!callback) return false;
    return callback(user, VKT_PROGRESS_MESSAGE, value) == VKT_PROGRESS_CANCEL;
}

bool Progress::step(uint64_t done, uint64_t total, const char* unit, int line) const {
    if (!report(done, total)) return false;
    ::TraceWarning(trace::kModule, unit, line, cancel_text);
    return true;
}

bool Progress::step_percent(uint32_t value, const char* unit, int line) const {
    if (!report_percent(value)) return false;
    ::TraceWarning(trace::kModule, unit, line, cancel_text);
    return true;
}

}  // namespace vkt
