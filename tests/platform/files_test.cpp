// File and clock helpers on the real file system, in a folder of the test's own.
#include "platform/files.h"
#include "platform/system_error.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#endif

namespace efi::platform {
namespace {

namespace fs = std::filesystem;

// Paths as UTF-8 both ways (on Windows a narrow path would be the ANSI code page).
using efi::test_support::path_of;
std::string utf8(const fs::path& path) { return efi::test_support::utf8_of(path); }

class Files : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) { return scratch_.file(name, bytes); }
  efi::test_support::ScratchFolder scratch_{"efi-files"};
  const fs::path& folder_ = scratch_.folder();
};

TEST_F(Files, ReadFileReadsInPiecesAndRewinds) {
  const std::string path = write("data.bin", std::string("abc\0def", 7));
  ReadFile file(path);
  EXPECT_EQ(file.size(), 7u);
  EXPECT_EQ(file.path(), path);
  char buffer[8] = {};
  ASSERT_EQ(file.read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), std::string("abc\0", 4));
  ASSERT_EQ(file.read(buffer, 8), 3u);
  EXPECT_EQ(std::string(buffer, 3), "def");
  EXPECT_EQ(file.read(buffer, 8), 0u);
  file.rewind();
  ASSERT_EQ(file.read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "ab");

  ReadFile moved(std::move(file));
  ASSERT_EQ(moved.read(buffer, 8), 5u);
  EXPECT_EQ(std::string(buffer, 5), std::string("c\0def", 5));
}

TEST_F(Files, ReadFileNamesTheFileAndTheSystemReason) {
  const std::string path = utf8(folder_ / "missing.txt");
  try {
    ReadFile file(path);
    FAIL() << "opened a missing file";
  } catch (const std::system_error& e) {
    const std::string what = e.what();
    const std::string prefix = "cannot open file '" + path + "': ";
    ASSERT_EQ(what.substr(0, prefix.size()), prefix);
    EXPECT_GT(what.size(), prefix.size());
    EXPECT_NE(what.back(), '\n');
#ifdef _WIN32
    EXPECT_EQ(e.code().value(), ERROR_FILE_NOT_FOUND);
#else
    EXPECT_EQ(what, prefix + "No such file or directory");
#endif
  }
}

#ifdef _WIN32
// Another program holding the file open for writing keeps it from being read;
// one that only reads it does not.
TEST_F(Files, ReadFileRefusesAFileOpenForWriting) {
  const std::string path = write("busy.txt", "x");
  const std::wstring wide = wide_from_utf8(path);
  HANDLE writer = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  try {
    ReadFile file(path);
    ADD_FAILURE() << "opened a file held open for writing";
  } catch (const std::system_error& e) {
    const std::string prefix = "cannot open file '" + path + "': ";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix);
    EXPECT_EQ(e.code().value(), ERROR_SHARING_VIOLATION);
  }
  CloseHandle(writer);

  HANDLE reader =
      CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_NO_THROW(ReadFile{path});
  CloseHandle(reader);
}
#endif

TEST_F(Files, DeleteFileIsTrueWhenTheFileIsGone) {
  const std::string path = write("old.csv", "x");
  EXPECT_TRUE(file_exists(path));
  EXPECT_TRUE(delete_file(path));
  EXPECT_FALSE(file_exists(path));
  EXPECT_TRUE(delete_file(path));            // already gone
  EXPECT_FALSE(delete_file(utf8(folder_)));  // a folder is not a file and stays
  EXPECT_TRUE(file_exists(utf8(folder_)));
}

TEST_F(Files, NonAsciiPathsWork) {
  // Written under an ASCII name and renamed. Wine maps names to the Unix
  // locale's character set; without a UTF-8 locale it cannot store this name.
  const std::string ascii = write("ascii.txt", "ok");
  const std::string path = utf8(folder_ / path_of("\xE5\x85\xA5\xE9\x99\xA2.txt"));  // 入院.txt
  std::error_code error;
  fs::rename(path_of(ascii), path_of(path), error);
  if (error) GTEST_SKIP() << "this file system cannot hold the name: " << error.message();
  EXPECT_TRUE(file_exists(path));
  ReadFile file(path);
  EXPECT_EQ(file.size(), 2u);
}

TEST(FilesFolder, ExecutableFolderHoldsTheRunningTest) {
  const std::string folder = executable_folder();
  ASSERT_FALSE(folder.empty());
#ifdef _WIN32
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(file_exists(folder + "test_platform.exe"));
#else
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(file_exists(folder + "test_platform"));
#endif
}

TEST(FilesClock, LocalTodayIsTheCalendarDate) {
  for (int attempt = 0; attempt < 2; ++attempt) {  // a second try if midnight passed in between
    const std::time_t now = std::time(nullptr);
    const std::tm expected = *std::localtime(&now);
    const LocalDate today = local_today();
    if (today.day != expected.tm_mday && attempt == 0) continue;
    EXPECT_EQ(today.year, expected.tm_year + 1900);
    EXPECT_EQ(today.month, expected.tm_mon + 1);
    EXPECT_EQ(today.day, expected.tm_mday);
    break;
  }
}

TEST(FilesClock, FormatsEightDigits) {
  EXPECT_EQ(format_yyyymmdd({2026, 3, 5}), "20260305");
  EXPECT_EQ(format_yyyymmdd({1999, 12, 31}), "19991231");
}

TEST(FilesErrors, SystemErrorCarriesTheSystemText) {
#ifdef _WIN32
  SetLastError(ERROR_ACCESS_DENIED);
  const std::system_error e = system_error_from_last("deleting 'x'");
  const std::string what = e.what();
  EXPECT_EQ(e.code().value(), ERROR_ACCESS_DENIED);
  ASSERT_GT(what.size(), std::string("deleting 'x': ").size());
  EXPECT_EQ(what.substr(0, 14), "deleting 'x': ");
  EXPECT_GT(static_cast<unsigned char>(what.back()), ' ');  // trimmed: no CR LF at the end
#else
  errno = EACCES;
  const std::system_error e = system_error_from_last("deleting 'x'");
  EXPECT_EQ(std::string(e.what()), "deleting 'x': Permission denied");
#endif
}

}  // namespace
}  // namespace efi::platform
