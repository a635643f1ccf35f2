#include "progress_bar.h"

#include <cstdio>
#include <unistd.h>

namespace orvkt_cli {

ProgressBar::ProgressBar(std::string label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && ::isatty(STDERR_FILENO)) {}

ProgressBar::~ProgressBar() { finish(); }

int32_t ProgressBar::callback(intptr_t lCallback, uint32_t message, uint32_t percent) {
    if (message == VKT_PROGRESS_MESSAGE && lCallback != 0)
        reinterpret_cast<ProgressBar*>(lCallback)->update(percent);
    return 0;
}

void ProgressBar::update(uint32_t percent) {
    std::lock_guard lock(mutex_);
    if (percent > 100) percent = 100;
    if (drawn_ && percent == last_) return;
    last_ = percent;
    if (!enabled_) return;
    constexpr int kWidth = 30;
    int filled = static_cast<int>(percent * kWidth / 100);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r%s [%s] %3u%%", label_.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    std::lock_guard lock(mutex_);
    if (enabled_ && drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    drawn_ = false;
}

}  // namespace orvkt_cli
