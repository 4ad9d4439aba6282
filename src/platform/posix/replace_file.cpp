// replace_file on POSIX: open(O_EXCL), write, fsync, rename, fsync the folder.
#include "platform/replace_file.h"
#include "platform/system_error.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/files.h"

namespace efi::platform {
namespace {

// The folder of `path`, for its fsync: "." for a bare name.
std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string temporary_path_for(const std::string& path_utf8, unsigned attempt) {
  return path_utf8 + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".part";
}

void replace_file(const std::string& path_utf8, std::string_view bytes) {
  std::string temporary;
  int fd = -1;
  // A name of this process; one left by a crashed run of the same id is skipped.
  for (unsigned attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temporary = temporary_path_for(path_utf8, attempt);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw system_error_from_last("cannot create the file '" + temporary + "'");

  auto fail = [&](const std::string& what) {
    const std::system_error error = system_error_from_last(what);
    if (fd >= 0) ::close(fd);
    ::unlink(temporary.c_str());
    throw error;
  };
  for (std::size_t written = 0; written < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write the file '" + temporary + "'");
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) fail("cannot flush the file '" + temporary + "'");
  const int closing = ::close(fd);
  fd = -1;
  if (closing != 0) fail("cannot close the file '" + temporary + "'");
  if (::rename(temporary.c_str(), path_utf8.c_str()) != 0)
    fail("cannot rename '" + temporary + "' to '" + path_utf8 + "'");
  // The rename itself reaches the disk with the folder's entry.
  const int folder = ::open(folder_of(path_utf8).c_str(), O_RDONLY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
}

}  // namespace efi::platform
