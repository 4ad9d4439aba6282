// The running process on POSIX.
#include "platform/process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace efi::platform {

std::uint64_t process_id() { return static_cast<std::uint64_t>(::getpid()); }

double cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool is_process_running(std::uint64_t id) {
  // Signal 0 only asks whether the process exists; EPERM means it does but
  // belongs to someone else.
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

}  // namespace efi::platform
