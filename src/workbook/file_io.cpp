#include "workbook/file_io.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace efi::workbook {

#ifdef _WIN32
std::wstring wide_path(const std::string& path_utf8) {
  if (path_utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, path_utf8.data(), static_cast<int>(path_utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, path_utf8.data(), static_cast<int>(path_utf8.size()), out.data(), n);
  return out;
}

std::FILE* open_file(const std::string& path_utf8, const char* mode) {
  std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(wide_path(path_utf8).c_str(), wmode.c_str());
}

void remove_file(const std::string& path_utf8) noexcept {
  try {
    DeleteFileW(wide_path(path_utf8).c_str());
  } catch (...) {
  }
}
#else
std::FILE* open_file(const std::string& path_utf8, const char* mode) { return std::fopen(path_utf8.c_str(), mode); }

void remove_file(const std::string& path_utf8) noexcept { std::remove(path_utf8.c_str()); }
#endif

}  // namespace efi::workbook
