#include "interrupt.h"

#include <atomic>
#include <csignal>

namespace vendrel::cli {

namespace {

std::atomic<bool> stop_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_signal(int signal_number) {
  stop_requested.store(true);
  // A second Ctrl-C ends the program at once.
  std::signal(signal_number, SIG_DFL);
}

}  // namespace

void install_interrupt_handler() {
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
}

bool interrupted() { return stop_requested.load(); }

}  // namespace vendrel::cli
