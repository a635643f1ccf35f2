#include "progress_bar.h"

#include <cstdio>
#include <unistd.h>

#include "interrupt.h"

namespace orvkt_cli {

std::string clock_text(uint64_t seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                      static_cast<unsigned long long>(seconds % 60));
    return text;
}

ProgressBar::ProgressBar(std::string label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && ::isatty(STDERR_FILENO)), start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { finish(); }

int32_t ProgressBar::callback(intptr_t lCallback, uint32_t message, uint32_t percent) {
    if (message == VKT_PROGRESS_MESSAGE && lCallback != 0)
        reinterpret_cast<ProgressBar*>(lCallback)->update(percent);
    return interrupted() ? VKT_PROGRESS_CANCEL : 0;
}

void ProgressBar::update(uint32_t percent) {
    std::lock_guard lock(mutex_);
    if (percent > 100) percent = 100;
    if (drawn_ && percent == last_) return;
    last_ = percent;
    if (!enabled_ || interrupted()) return;
    draw_locked();
}

void ProgressBar::set_label(std::string label) {
    std::lock_guard lock(mutex_);
    label_ = std::move(label);
    if (enabled_ && drawn_) draw_locked();
}

void ProgressBar::draw_locked() {
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    std::string left = "--:--";
    if (last_ > 0 && last_ < 100) left = clock_text(static_cast<uint64_t>(elapsed * (100 - last_) / last_ + 0.5));
    if (last_ >= 100) left = "0:00";
    constexpr int kWidth = 20;
    const int filled = static_cast<int>(last_ * kWidth / 100);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r\033[K%s [%s] %3u%%  %s elapsed, %s left", label_.c_str(), bar.c_str(), last_,
                 clock_text(static_cast<uint64_t>(elapsed)).c_str(), left.c_str());
    std::fflush(stderr);
    drawn_ = true;
    last_draw_ = now;
}

void ProgressBar::clear_locked() {
    if (enabled_ && drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    drawn_ = false;
}

void ProgressBar::print_above(const std::string& line, std::FILE* stream) {
    std::lock_guard lock(mutex_);
    const bool was_drawn = drawn_;
    clear_locked();
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
    if (enabled_ && was_drawn && !interrupted()) draw_locked();
}

void ProgressBar::finish() {
    std::lock_guard lock(mutex_);
    clear_locked();
}

}  // namespace orvkt_cli
