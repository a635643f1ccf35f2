#include "interrupt.h"

#include <unistd.h>

#include <csignal>

namespace orvkt_cli {

namespace {

volatile sig_atomic_t g_interrupted = 0;

void on_signal(int) {
    if (g_interrupted) {
        // The user insists: clear the progress line and leave now.
        static const char clear[] = "\r\033[K";
        if (::isatty(STDERR_FILENO)) (void)!::write(STDERR_FILENO, clear, sizeof clear - 1);
        ::_exit(kInterruptedStatus);
    }
    g_interrupted = 1;
}

}  // namespace

void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0; }

}  // namespace orvkt_cli
