// Helpers of the workbook tests: the fixture workbooks, a scratch folder per
// test, and files read and written as bytes by UTF-8 name.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/scratch_folder.h"
#include "support/wine_path.h"

namespace efi::workbook::test {

using efi::test_support::read_file;
using efi::test_support::write_file;

inline std::string utf8(const std::filesystem::path& p) { return efi::test_support::utf8_of(p); }
inline std::filesystem::path from_utf8(const std::string& s) { return efi::test_support::path_of(s); }

inline std::string fixture(const std::string& name) {
  return efi::test_support::source_path("tests/data/workbooks/" + name);
}

inline bool exists(const std::string& path) { return std::filesystem::exists(from_utf8(path)); }

inline std::string read_bytes(const std::string& path) { return read_file(path); }
inline bool write_bytes(const std::string& path, const std::string& bytes) { return write_file(path, bytes); }

// A fresh folder for one test, removed afterwards.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = std::make_unique<efi::test_support::ScratchFolder>("efi-wb"); }
  void TearDown() override { folder_.reset(); }
  std::string path(const std::string& name) const { return folder_->path(name); }

  std::unique_ptr<efi::test_support::ScratchFolder> folder_;  // this test's folder
};

}  // namespace efi::workbook::test
