// Interrupt requests on POSIX: SIGINT and SIGTERM.
#include "platform/interrupt.h"

#include <atomic>
#include <csignal>

namespace efi::platform {
namespace {

std::atomic<int> requested{0};  // the first signal's number; 0 while none came
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void on_signal(int number) {
  int none = 0;
  if (!requested.compare_exchange_strong(none, number)) {
    // A second request: stop waiting for the checkpoint, end at once.
    std::signal(number, SIG_DFL);
    std::raise(number);
  }
}

}  // namespace

void watch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // reads and writes carry on; the checkpoints look at the flag
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interrupt_signal() noexcept { return requested.load(std::memory_order_relaxed); }

void interrupts_handled() noexcept {}

}  // namespace efi::platform
