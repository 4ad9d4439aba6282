// A fresh folder of one test's own, for the import tests that read and write
// files: named after the test and the process, so builds testing side by side
// never share a folder, and removed with the object.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace efi::import::testing {

inline long process_id() {
#ifdef _WIN32
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

inline std::string utf8_of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::filesystem::path path_of(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view prefix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(prefix) + "-" + info->test_suite_name() + "-" + info->name() + "-" +
                       std::to_string(process_id());
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    folder_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The UTF-8 path of `name` (UTF-8) inside the folder.
  std::string path(std::string_view name) const { return utf8_of(folder_ / path_of(std::string(name))); }

  // Writes `bytes` as the file `name` in the folder; returns its path.
  std::string file(std::string_view name, std::string_view bytes) const {
    const std::string p = path(name);
    std::ofstream(path_of(p), std::ios::binary) << bytes;
    return p;
  }

 private:
  std::filesystem::path folder_;
};

}  // namespace efi::import::testing
