// Interrupt requests on Windows: the console's control events. The handler
// runs on a thread of its own that the system starts for it.
#include "platform/interrupt.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace efi::platform {
namespace {

constexpr int sigbreak = 21;           // the C runtime's SIGBREAK
constexpr DWORD close_wait_ms = 4500;  // the system ends a closed console's process after about 5 s

std::atomic<int> requested{0};     // the first request's signal number; 0 while none came
std::atomic<bool> handled{false};  // the program has cleaned up

BOOL WINAPI on_control(DWORD event) {
  int number = SIGTERM;
  if (event == CTRL_C_EVENT) number = SIGINT;
  if (event == CTRL_BREAK_EVENT) number = sigbreak;
  int none = 0;
  if (!requested.compare_exchange_strong(none, number))
    return FALSE;  // a second one: the default, ending the process
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning ends the process: give the program its time to roll back first.
    for (DWORD waited = 0; !handled.load() && waited < close_wait_ms; waited += 50) Sleep(50);
  }
  return TRUE;
}

}  // namespace

void watch_interrupts() { SetConsoleCtrlHandler(on_control, TRUE); }

int interrupt_signal() noexcept { return requested.load(); }

void interrupts_handled() noexcept { handled.store(true); }

}  // namespace efi::platform
