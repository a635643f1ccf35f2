// The progress line on stderr: what is being worked on, the percentage, the
// time spent and the time left. It draws only when stderr is a terminal and
// the user did not ask for quiet. Its callback returns "cancel" once the
// user pressed Ctrl-C.
#pragma once

#include <chrono>
#include <cstdio>
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
    void set_label(std::string label);
    // Prints a line of its own (to stdout or stderr) above the progress
    // line, which is then drawn again.
    void print_above(const std::string& line, std::FILE* stream);
    // Clears the progress line.
    void finish();

private:
    void draw_locked();
    void clear_locked();

    std::string label_;
    bool enabled_;
    bool drawn_ = false;
    uint32_t last_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_draw_{};
    std::mutex mutex_;
};

// "1:05" (minutes:seconds) or "1:02:03".
std::string clock_text(uint64_t seconds);

}  // namespace orvkt_cli
