// The console on POSIX: terminals already take UTF-8.
#include "platform/console.h"

#include <unistd.h>

namespace efi::platform {

bool is_terminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

void use_utf8_console_output() {}

}  // namespace efi::platform
