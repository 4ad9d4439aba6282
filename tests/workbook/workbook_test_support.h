// Helpers of the workbook tests: the fixture workbooks, a scratch folder per
// test, and reading a file back as bytes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace efi::workbook::test {

inline std::string utf8(const std::filesystem::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

inline std::filesystem::path from_utf8(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

inline std::string fixture(const std::string& name) {
  return utf8(from_utf8(EFI_SOURCE_DIR) / "tests" / "data" / "workbooks" / from_utf8(name));
}

inline bool exists(const std::string& path) { return std::filesystem::exists(from_utf8(path)); }

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(from_utf8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
