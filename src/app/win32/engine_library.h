// Writing the embedded engine library: the raw-data resource "SQLiteDLL" of
// a module copied to a file, replacing whatever the file held. The program's
// own database access does not load that file; it is written for the tools
// that sit beside the program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace efi::app {

constexpr wchar_t engine_library_resource[] = L"SQLiteDLL";
constexpr wchar_t engine_library_file[] = L"sqlite3.dll";

// Writes the resource of `module` to `target_path` (created anew, truncated).
// Returns the text of the failure for the error box, or the empty text when
// the file was written or the module has no such resource.
std::wstring write_engine_library(HMODULE module, const std::wstring& target_path);

// One write call: like WriteFile, true and `written` set, or false.
using WriteCall = std::function<bool(HANDLE file, const char* bytes, DWORD size, DWORD& written)>;
bool write_file_call(HANDLE file, const char* bytes, DWORD size, DWORD& written);

// Creates `target_path` anew and writes `size` bytes into it, continuing
// partial writes until all is written or a write takes nothing. Returns the
// failure text as write_engine_library() does.
std::wstring write_whole_file(const std::wstring& target_path, const char* bytes, DWORD size,
                              const WriteCall& write = write_file_call);

}  // namespace efi::app
