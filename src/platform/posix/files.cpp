// File and clock helpers on Linux: plain POSIX calls; paths are UTF-8 already.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

#include "platform/files.h"
#include "platform/system_error.h"

namespace efi::platform {

namespace {

std::int64_t nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity identity_of(const struct stat& st) {
  FileIdentity id;
  id.size = static_cast<std::uint64_t>(st.st_size);
  id.modified_ns = nanoseconds(st.st_mtim);
  id.changed_ns = nanoseconds(st.st_ctim);
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.file_id = static_cast<std::uint64_t>(st.st_ino);
  return id;
}

}  // namespace

ReadFile::ReadFile(const std::string& path_utf8) : path_(path_utf8) {
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw system_error_from_last("cannot open file '" + path_ + "'");
  struct stat st {};
  const bool is_stat_ok = ::fstat(fd_, &st) == 0;
  if (!is_stat_ok || S_ISDIR(st.st_mode)) {
    const int error = is_stat_ok ? EISDIR : errno;
    ::close(fd_);
    fd_ = -1;
    errno = error;
    throw system_error_from_last("cannot open file '" + path_ + "'");
  }
  opened_ = identity_of(st);
}

ReadFile::ReadFile(ReadFile&& other) noexcept
    : path_(std::move(other.path_)), opened_(other.opened_), fd_(other.fd_) {
  other.fd_ = -1;
}

ReadFile& ReadFile::operator=(ReadFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    opened_ = other.opened_;
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

ReadFile::~ReadFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t ReadFile::read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw system_error_from_last("cannot read file '" + path_ + "'");
  }
}

void ReadFile::rewind() {
  if (::lseek(fd_, 0, SEEK_SET) < 0) throw system_error_from_last("cannot rewind file '" + path_ + "'");
}

std::uint64_t ReadFile::size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw system_error_from_last("cannot read the size of file '" + path_ + "'");
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<FileIdentity> ReadFile::current_identity() const {
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw system_error_from_last("cannot look at file '" + path_ + "'");
  }
  return identity_of(st);
}

std::string executable_path() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
    throw system_error_from_last("cannot find the folder of the running program");
  }
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::FILE* open_file(const std::string& path_utf8, const char* mode) {
  return std::fopen(path_utf8.c_str(), mode);
}

bool delete_file(const std::string& path_utf8) noexcept {
  return ::unlink(path_utf8.c_str()) == 0 || errno == ENOENT;
}

bool file_exists(const std::string& path_utf8) noexcept {
  struct stat st {};
  return ::stat(path_utf8.c_str(), &st) == 0;
}

LocalDate local_today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

}  // namespace efi::platform
