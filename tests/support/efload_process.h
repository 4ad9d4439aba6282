// Runs the built efload as a child process for the end-to-end tests: the
// arguments, the working folder, and what it printed and returned. POSIX:
// fork, redirect, exec and wait; Windows: CreateProcessW with inherited file
// handles (under Wine, the efload.exe of the same build).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace efi::test_support {

struct ProcessResult {
  int exit_code = -1;  // the child's exit status; -1 when it did not exit normally
  std::string out;     // standard output, as written (CR LF folded to LF on Windows)
  std::string err;     // standard error, likewise
};

// Who the child runs as. `unprivileged` matters where the tests run as root
// (CI does): root writes through file permissions, so a test of a read-only
// file starts efload as the user "nobody" instead. Elsewhere it is the same.
enum class RunAs { caller, unprivileged };

// Starts efload (EFLOAD_PATH of this build) with `arguments` in
// `working_folder` and waits for it.
ProcessResult run_efload(const std::vector<std::string>& arguments,
                         const std::filesystem::path& working_folder, RunAs run_as = RunAs::caller);

// The same with another copy of efload (`program`, a UTF-8 path): one in a
// folder of the test's own, for what efload keeps beside itself.
ProcessResult run_efload_copy(const std::string& program, const std::vector<std::string>& arguments,
                              const std::filesystem::path& working_folder);

// This build's efload, as a path the test can open.
std::string efload_path();

}  // namespace efi::test_support
