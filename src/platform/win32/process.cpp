// The running process on Windows.
#include "platform/process.h"

#include <windows.h>

namespace efi::platform {
namespace {

unsigned long long ticks(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::uint64_t process_id() { return GetCurrentProcessId(); }

double cpu_seconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100 ns units
}

bool is_process_running(std::uint64_t id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) {
    // A process we may not open still exists; one that is gone cannot be opened at all.
    return GetLastError() == ERROR_ACCESS_DENIED;
  }
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

}  // namespace efi::platform
