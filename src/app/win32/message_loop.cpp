#include "app/win32/message_loop.h"

#include "app/win32/keyboard_focus.h"

namespace efi::app {

void dispatch_message(HWND main_window, MSG& message) {
  if (main_window && IsWindow(main_window) && IsDialogMessageW(main_window, &message)) {
    if (message.message == WM_KEYDOWN) restore_default_look(main_window);  // Tab may have moved the focus
    return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

int run_message_loop(HWND main_window) {
  MSG message;
  BOOL got;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (got == -1) return 1;
    dispatch_message(main_window, message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace efi::app
