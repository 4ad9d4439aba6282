// Requests to stop that come from outside the program: Ctrl+C, and the
// SIGTERM of a service manager or scheduler on POSIX; Ctrl+C, Ctrl+Break and
// the console being closed on Windows. Once they are watched, such a request
// no longer ends the process where it stands: it is recorded, and the program
// stops at its next checkpoint, cleans up and exits with 128 + the signal
// number. A second request ends the process at once, as before.
#pragma once

namespace efi::platform {

// Installs the handlers. Call once, before the work that can be stopped.
void watch_interrupts();

// The signal number of the first request (SIGINT 2, SIGTERM 15; on Windows
// Ctrl+Break counts as SIGBREAK 21 and a closed console as SIGTERM); 0 while
// none came. Safe to call from any thread, as often as wanted.
int interrupt_signal() noexcept;

// The program has finished cleaning up: a Windows console that is being
// closed waits for this (a few seconds at most) before it ends the process.
void interrupts_handled() noexcept;

}  // namespace efi::platform
