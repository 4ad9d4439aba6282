// The console efload writes to: whether a stream is an interactive terminal,
// and UTF-8 output on Windows consoles.
#pragma once

#include <cstdio>

namespace efi::platform {

// True when `stream` is an interactive terminal (a console on Windows), so
// output can be redrawn in place; false for pipes and files.
bool is_terminal(std::FILE* stream);

// Makes the console show the program's UTF-8 output as it is (Windows sets
// its output code page to UTF-8, and back to the one it found when the
// program exits); nothing to do elsewhere.
void use_utf8_console_output();

}  // namespace efi::platform
