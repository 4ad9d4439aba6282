// The GUI message loop and the one-message step it shares with the run's
// message pumping: the keyboard (Tab, Shift+Tab, arrow keys, Enter) goes
// through the dialog manager for the main window, everything else is
// dispatched.
#pragma once

#include <windows.h>

namespace efi::app {

// Handles one message taken from the queue.
void dispatch_message(HWND main_window, MSG& message);

// Runs until WM_QUIT; returns its exit code.
int run_message_loop(HWND main_window);

}  // namespace efi::app
