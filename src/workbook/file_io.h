// Opening and removing files by UTF-8 path, for the workbook layer's own
// reading and writing (on Windows the path becomes UTF-16 at the call).
#pragma once

#include <cstdio>
#include <string>

namespace efi::workbook {

// fopen with a UTF-8 path; null with errno set when it fails.
std::FILE* open_file(const std::string& path_utf8, const char* mode);

// Removes a file; whether that succeeds is not reported.
void remove_file(const std::string& path_utf8) noexcept;

#ifdef _WIN32
std::wstring wide_path(const std::string& path_utf8);
#endif

}  // namespace efi::workbook
