// The console on Windows.
#include "platform/console.h"

#include <windows.h>
#include <io.h>

namespace efi::platform {

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void use_utf8_console_output() { SetConsoleOutputCP(CP_UTF8); }

}  // namespace efi::platform
