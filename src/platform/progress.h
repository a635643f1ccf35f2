// Progress reports to the caller's callback: percentages of a range
// [start, end], a return of 2 cancels. Every operation reports through
// this helper; when the callback cancels, the helper writes the cancel
// warning into the calling file's trace unit (VKT_PROGRESS_STEP,
// VKT_PROGRESS_PERCENT).
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"
#include "platform/vkt_trace.h"

namespace vkt {

// How done / total becomes a percentage; both keep the rounding an
// operation has always had.
enum class Rounding {
    ShareFirst,  // floor(start + (end - start) * (done / total) + 0.5)
    ScaleFirst,  // floor(start + (end - start) * done / total + 0.5)
};

// The two cancel warnings of the trace log.
inline constexpr const char kCancelByCallback[] = "CANCEL returned by pfnCallback()";
inline constexpr const char kCancelByMemberCallback[] = "CANCEL returned by m_pfnCallback()";

struct Progress {
    ProgressCallback callback = nullptr;
    intptr_t user = 0;
    uint32_t start = 0;
    uint32_t end = 100;
    Rounding rounding = Rounding::ShareFirst;
    const char* cancel_text = kCancelByCallback;

    // The percentage of done / total by `rounding`, as an unsigned value.
    static uint32_t percent(uint32_t start, uint32_t end, uint64_t done, uint64_t total,
                            Rounding rounding = Rounding::ShareFirst);
    uint32_t percent_of(uint64_t done, uint64_t total) const { return percent(start, end, done, total, rounding); }

    // Calls the callback with the percentage of done / total; true when it
    // answered 2 (cancel). Without a callback nothing happens. The report
    // of 100 % for work that is done cannot cancel it.
    bool report(uint64_t done, uint64_t total) const;
    // Calls the callback with a percentage as it is.
    bool report_percent(uint32_t percent) const;

    // report() and report_percent() that also write the cancel warning,
    // under the trace unit and line given (use the macros below).
    bool step(uint64_t done, uint64_t total, const char* unit, int line) const;
    bool step_percent(uint32_t percent, const char* unit, int line) const;
};

}  // namespace vkt

#define VKT_PROGRESS_STEP(progress, done, total) (progress).step((done), (total), VKT_TRACE_UNIT_NAME, __LINE__)
#define VKT_PROGRESS_PERCENT(progress, percent) (progress).step_percent((percent), VKT_TRACE_UNIT_NAME, __LINE__)
