// The console on Windows.
#include "platform/console.h"

#include <windows.h>
#include <io.h>

#include <cstdlib>

namespace efi::platform {
namespace {

// The console's output code page before the program set UTF-8; 0 while unchanged.
UINT output_code_page_found = 0;

// The console belongs to whoever started the program, a cmd.exe running a
// batch file for one: it reads the rest of that file and shows what follows
// in this code page, so the program leaves it as it found it.
void restore_console_output() { SetConsoleOutputCP(output_code_page_found); }

}  // namespace

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void use_utf8_console_output() {
  const UINT found = GetConsoleOutputCP();
  if (found == 0 || found == CP_UTF8) return;  // no console, or nothing to change
  if (!SetConsoleOutputCP(CP_UTF8)) return;
  if (output_code_page_found == 0) {
    output_code_page_found = found;
    std::atexit(restore_console_output);
  }
}

}  // namespace efi::platform
