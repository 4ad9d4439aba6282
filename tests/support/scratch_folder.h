// A fresh folder of one test's own, for tests that read and write files:
// named after the test, the process and a serial number, so builds testing
// side by side never share a folder, and removed with the object. Paths are
// UTF-8 throughout, as the program under test takes them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace efi::test_support {

// UTF-8 text to a path and back, whatever the platform's narrow encoding.
std::filesystem::path path_of(std::string_view utf8);
std::string utf8_of(const std::filesystem::path& path);

// The bytes of a file, or empty when it cannot be read; and a file written
// with exactly `bytes` (false when it cannot be). Names may be Japanese: on
// Windows they go through the UTF-16 file functions.
std::string read_file(const std::string& path_utf8);
bool write_file(const std::string& path_utf8, std::string_view bytes);

// The names of the files and folders in `folder` (UTF-8), sorted: what a test
// expects a folder to hold after the program ran, leftovers included.
std::vector<std::string> names_in(const std::filesystem::path& folder);

class ScratchFolder {
 public:
  // Inside a running test: "<prefix>-<suite>-<test>-<process>-<serial>" in
  // the system's temporary folder.
  explicit ScratchFolder(std::string_view prefix = "efi");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  // The UTF-8 path of `name` (UTF-8) inside the folder.
  std::string path(std::string_view name) const;
  // Writes `bytes` as the file `name` in the folder; returns its path.
  std::string file(std::string_view name, std::string_view bytes) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace efi::test_support
