// Runs the built efload as a child process for the end-to-end tests: the
// arguments, the working folder, and what it printed and returned.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace efi::cli::testing {

struct ProcessResult {
  int exit_code = -1;   // the child's exit status; -1 when it did not exit normally
  std::string out;      // standard output, as written
  std::string err;      // standard error, as written
};

// Who the child runs as. `unprivileged` matters where the tests run as root
// (CI does): root writes through file permissions, so a test of a read-only
// file starts efload as the user "nobody" instead. Elsewhere it is the same.
enum class RunAs { caller, unprivileged };

// Starts efload (EFLOAD_PATH) with `arguments` in `working_folder` and waits.
ProcessResult run_efload(const std::vector<std::string>& arguments,
                         const std::filesystem::path& working_folder,
                         RunAs run_as = RunAs::caller);

// A fresh empty folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // The UTF-8 path of `name` (UTF-8) inside the folder.
  std::string file(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// A path from UTF-8 text, whatever the platform's narrow encoding.
inline std::filesystem::path path_of_utf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Writes `bytes` to `path` as they are.
void write_file(const std::string& path, const std::string& bytes);

// `path` as the child opens it: on Windows a Unix path of the build (Wine's
// drive Z:) gets its drive; elsewhere it is unchanged.
#ifdef _WIN32
std::string native_path(const std::string& path);
#else
inline std::string native_path(const std::string& path) { return path; }
#endif

}  // namespace efi::cli::testing
