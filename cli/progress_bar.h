// A progress bar on stderr for operations that report percentages. It draws
// only when stderr is a terminal and the user did not ask for quiet.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "OrvaneVktapi.h"

namespace orvkt_cli {

class ProgressBar {
public:
    ProgressBar(std::string label, bool quiet);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // The library's callback; lCallback is the ProgressBar*.
    static int32_t callback(intptr_t lCallback, uint32_t message, uint32_t percent);
    ProgressCallback function() const { return &ProgressBar::callback; }
    intptr_t user() const { return reinterpret_cast<intptr_t>(this); }

    void update(uint32_t percent);
    // Clears the bar's line.
    void finish();
    uint32_t last_percent() const { return last_; }

private:
    std::string label_;
    bool enabled_;
    bool drawn_ = false;
    uint32_t last_ = 0;
    std::mutex mutex_;
};

}  // namespace orvkt_cli
