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

// Starts efload (EFLOAD_PATH) with `arguments` in `working_folder` and waits.
ProcessResult run_efload(const std::vector<std::string>& arguments,
                         const std::filesystem::path& working_folder);

// A fresh empty folder, removed with the object.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to `path` as they are.
void write_file(const std::string& path, const std::string& bytes);

}  // namespace efi::cli::testing
