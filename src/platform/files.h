// Small file-system and clock helpers that differ between Windows and Linux.
// Paths are UTF-8 everywhere; on Windows they become UTF-16 at the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace efi::platform {

// A file opened for reading only; other programs may read it at the same time
// but not write it (on Windows a file held open for writing cannot be opened).
// Move-only; the handle closes with the object.
class ReadFile {
 public:
  explicit ReadFile(const std::string& path_utf8);  // throws std::system_error
  ReadFile(ReadFile&& other) noexcept;
  ReadFile& operator=(ReadFile&& other) noexcept;
  ReadFile(const ReadFile&) = delete;
  ReadFile& operator=(const ReadFile&) = delete;
  ~ReadFile();

  // Reads up to `size` bytes at the current position; 0 at the end of the file.
  std::size_t read(char* buffer, std::size_t size);
  void rewind();  // back to the first byte
  std::uint64_t size() const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// The full path of the running executable, and its folder with the trailing
// separator.
std::string executable_path();
std::string executable_folder();

// std::fopen with a UTF-8 path; null with errno set when it fails.
std::FILE* open_file(const std::string& path_utf8, const char* mode);

// Deletes a file; true when it is gone afterwards. Never throws.
bool delete_file(const std::string& path_utf8) noexcept;

bool file_exists(const std::string& path_utf8) noexcept;

// The current local date as "yyyymmdd", and a year-month as "yyyymm".
struct LocalDate {
  int year;   // four digits
  int month;  // 1..12
  int day;    // 1..31
};
LocalDate local_today();
std::string format_yyyymmdd(const LocalDate& date);

}  // namespace efi::platform
