// File and clock helpers on Windows: UTF-8 paths become UTF-16 at each call.
#include <windows.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace efi::platform {
namespace {

// Size, last write and file index from the handle; one call, no disk access.
bool identity_of(HANDLE handle, FileIdentity& identity_out) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  // FILETIME counts 100 ns steps since 1601; this many lie before 1970.
  constexpr std::int64_t steps_before_1970 = 116444736000000000;
  const std::int64_t written =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                info.ftLastWriteTime.dwLowDateTime);
  identity_out.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  identity_out.modified_ns = (written - steps_before_1970) * 100;
  identity_out.changed_ns = 0;
  identity_out.device = info.dwVolumeSerialNumber;
  identity_out.file_id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

ReadFile::ReadFile(const std::string& path_utf8) : path_(path_utf8) {
  std::wstring wide;
  try {
    wide = wide_from_utf8(path_);
  } catch (const DecodeError&) {
    SetLastError(ERROR_INVALID_NAME);
    throw system_error_from_last("cannot open file '" + path_ + "'");
  }
  // Share reading only: a file another program holds open for writing cannot be opened.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw system_error_from_last("cannot open file '" + path_ + "'");
  handle_ = h;
  if (!identity_of(h, opened_)) {
    const std::system_error error = system_error_from_last("cannot open file '" + path_ + "'");
    CloseHandle(h);
    handle_ = nullptr;
    throw error;
  }
}

ReadFile::ReadFile(ReadFile&& other) noexcept
    : path_(std::move(other.path_)), opened_(other.opened_), handle_(other.handle_) {
  other.handle_ = nullptr;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) CloseHandle(handle_);
    path_ = std::move(other.path_);
    opened_ = other.opened_;
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

ReadFile::~ReadFile() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

std::size_t ReadFile::read(char* buffer, std::size_t size) {
  std::size_t total = 0;
  while (total < size) {  // ReadFile takes a DWORD: large requests go in pieces
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - total, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer + total, want, &got, nullptr)) {
      throw system_error_from_last("cannot read file '" + path_ + "'");
    }
    if (got == 0) break;
    total += got;
    if (got < want) break;
  }
  return total;
}

void ReadFile::rewind() {
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN)) {
    throw system_error_from_last("cannot rewind file '" + path_ + "'");
  }
}

std::uint64_t ReadFile::size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle_, &size))
    throw system_error_from_last("cannot read the size of file '" + path_ + "'");
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<FileIdentity> ReadFile::current_identity() const {
  FileIdentity identity;
  if (!identity_of(handle_, identity)) throw system_error_from_last("cannot look at file '" + path_ + "'");
  return identity;
}

std::string executable_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) throw system_error_from_last("cannot find the folder of the running program");
    if (n < path.size()) {
      path.resize(n);
      return utf8_from_wide(path);
    }
    path.resize(path.size() * 2);
  }
}

std::FILE* open_file(const std::string& path_utf8, const char* mode) {
  // The C runtime's narrow names are in the ANSI code page: go through UTF-16.
  std::wstring wide_path;
  try {
    wide_path = wide_from_utf8(path_utf8);
  } catch (const DecodeError&) {
    errno = EINVAL;
    return nullptr;
  }
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(wide_path.c_str(), wide_mode.c_str());
}

bool delete_file(const std::string& path_utf8) noexcept {
  try {
    const std::wstring wide = wide_from_utf8(path_utf8);
    if (DeleteFileW(wide.c_str())) return true;
    return GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES &&
           (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
  } catch (...) {
    return false;
  }
}

bool file_exists(const std::string& path_utf8) noexcept {
  try {
    return GetFileAttributesW(wide_from_utf8(path_utf8).c_str()) != INVALID_FILE_ATTRIBUTES;
  } catch (...) {
    return false;
  }
}

LocalDate local_today() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay};
}

}  // namespace efi::platform
