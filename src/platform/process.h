// The running process: its id and the CPU time it has used; whether
// another process is still running.
#pragma once

#include <cstdint>

namespace efi::platform {

std::uint64_t process_id();

// User plus system time of this process so far, in seconds.
double cpu_seconds();

// True while a process of this id exists (also one of another user's);
// false once it has ended.
bool is_process_running(std::uint64_t id);

}  // namespace efi::platform
