// Helpers of the workbook tests: the fixture workbooks, a scratch folder per
// test, and reading a file back as bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/files.h"

namespace efi::workbook::test {

inline std::string utf8(const std::filesystem::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

inline std::filesystem::path from_utf8(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

// The source tree; under Wine its Unix path is given the drive Z:.
inline std::filesystem::path source_dir() {
  std::string dir = EFI_SOURCE_DIR;
#ifdef _WIN32
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
  return from_utf8(dir);
}

inline std::string fixture(const std::string& name) {
  return utf8(source_dir() / "tests" / "data" / "workbooks" / from_utf8(name));
}

inline bool exists(const std::string& path) { return std::filesystem::exists(from_utf8(path)); }

// Through the workbook layer's own file opening: libstdc++'s streams of
// mingw-w64 do not take UTF-16 paths.
inline std::string read_bytes(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = platform::open_file(path, "rb")) {
    char block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.append(block, n);
    std::fclose(f);
  }
  return bytes;
}

// False when the file cannot be created.
inline bool write_bytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = platform::open_file(path, "wb");
  if (f == nullptr) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

// A fresh folder for one test, removed afterwards.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("efi-wb-" + std::string(info->test_suite_name()) + "-" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return utf8(dir_ / from_utf8(name)); }

  std::filesystem::path dir_;  // this test's folder
};

}  // namespace efi::workbook::test
