// Progress reports to the caller's callback: percentages of a range
// [start, end] after each unit of work, a return of 2 cancels.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

namespace vkt {

struct Progress {
    ProgressCallback callback = nullptr;
    intptr_t user = 0;
    uint32_t start = 0;
    uint32_t end = 100;

    // floor(start + (end - start) * done / total + 0.5), as an unsigned value.
    static uint32_t percent(uint32_t start, uint32_t end, uint64_t done, uint64_t total);

    // Calls the callback with the percentage of done / total; true when it
    // answered 2 (cancel). Without a callback nothing happens. The report
    // of 100 % for work that is done cannot cancel it.
    bool report(uint64_t done, uint64_t total) const;
    // Calls the callback with a percentage as it is.
    bool report_percent(uint32_t percent) const;
};

}  // namespace vkt
