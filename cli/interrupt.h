// Ctrl-C and SIGTERM as a cancellation: the first signal sets a flag that
// every progress callback turns into "cancel", so the library removes what
// it removes on cancel; a second signal ends the process at once.
#pragma once

namespace orvkt_cli {

// The exit status of an interrupted run (128 + SIGINT, as shells report it).
constexpr int kInterruptedStatus = 130;

void install_interrupt_handlers();
bool interrupted();

}  // namespace orvkt_cli
