// EFImport.exe: builds the main window, shows it and runs the message loop
// until it closes. The program reads no command line.
#include <windows.h>

#include <exception>

#include "app/win32/app_info.h"
#include "app/win32/main_window.h"
#include "app/win32/message_loop.h"
#include "platform/text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  try {
    efi::app::MainWindow window(instance, efi::app::default_seams());
    window.show(show_command);
    return efi::app::run_message_loop(window.hwnd());
  } catch (const std::exception& e) {
    MessageBoxW(nullptr, efi::platform::wide_from_utf8(e.what()).c_str(),
                efi::app::application_title().c_str(), MB_ICONERROR | MB_OK);
    return 1;
  }
}
