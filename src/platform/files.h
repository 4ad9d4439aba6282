// Small file-system and clock helpers that differ between Windows and Linux.
// Paths are UTF-8 everywhere; on Windows they become UTF-16 at the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace efi::platform {

// What tells one version of a file's content from another: writing to the
// file, cutting it short or putting another file in its place changes at
// least one member (within the file system's timestamp resolution, for a
// rewrite of the same size).
struct FileIdentity {
  std::uint64_t size = 0;        // bytes
  std::int64_t modified_ns = 0;  // last write, nanoseconds since 1970
  std::int64_t changed_ns = 0;   // POSIX: last change of content or attributes, which no
                                 // program can set back as it can the last write; Windows: 0
  std::uint64_t device = 0;      // device number; Windows: volume serial number
  std::uint64_t file_id = 0;     // inode number; Windows: file index

  bool operator==(const FileIdentity&) const = default;
};

// A file opened for reading only; other programs may read it at the same time
// but not write it (on Windows a file held open for writing cannot be opened).
// POSIX has no such share modes: there a reader that reads a file more than
// once compares identity_when_opened() with current_identity() to find out
// whether someone wrote to it meanwhile. Move-only; the handle closes with
// the object.
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

  // What identified the content when the file was opened.
  const FileIdentity& identity_when_opened() const { return opened_; }
  // What identifies the file now; nullopt when its path names no file any
  // more. On POSIX it is taken at the path, so a file renamed over this one
  // shows as well as a write; on Windows from the handle, since a file opened
  // without FILE_SHARE_DELETE can be neither replaced nor removed. Throws
  // std::system_error.
  std::optional<FileIdentity> current_identity() const;

 private:
  std::string path_;
  FileIdentity opened_;  // taken by the constructor
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
