// replace_file: a new file, a replaced one, and a failure that leaves the
// target as it was and no temporary file behind.
#include "platform/replace_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace efi::platform {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ReplaceFile : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("efi-replace-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder_)) out.push_back(utf8(entry.path().filename()));
    std::sort(out.begin(), out.end());
    return out;
  }
  fs::path folder_;
};

TEST_F(ReplaceFile, WritesANewFileAndReplacesAnOldOneWhole) {
  const fs::path target = folder_ / u8"レポート.html";
  const std::string bytes = std::string("\xEF\xBB\xBF") + "置換え率,75.0%\r\n" + std::string(300000, 'x');
  replace_file(utf8(target), bytes);
  EXPECT_EQ(read_all(target), bytes);

  std::ofstream(target, std::ios::binary | std::ios::trunc) << "an older, longer report than the new one";
  replace_file(utf8(target), "new");
  EXPECT_EQ(read_all(target), "new");
  EXPECT_EQ(names(), std::vector<std::string>{utf8(fs::path(u8"レポート.html"))})
      << "no temporary file is left";
}

TEST_F(ReplaceFile, AFailureLeavesNothingBehindAndNamesTheFile) {
  const fs::path missing_folder = folder_ / "no-such-folder" / "report.html";
  try {
    replace_file(utf8(missing_folder), "page");
    ADD_FAILURE() << "wrote into a folder that does not exist";
  } catch (const std::system_error& e) {
    EXPECT_THAT(e.what(), testing::HasSubstr("cannot create the file '" + utf8(missing_folder) + "."));
  }

  // A target that is a folder: the rename fails after the temporary file was
  // written, and the temporary file goes again.
  const fs::path folder_target = folder_ / "taken";
  fs::create_directories(folder_target / "inside");
  try {
    replace_file(utf8(folder_target), "page");
    ADD_FAILURE() << "replaced a folder";
  } catch (const std::system_error& e) {
    EXPECT_THAT(e.what(), testing::HasSubstr("cannot rename"));
  }
  EXPECT_TRUE(fs::is_directory(folder_target / "inside"));
  EXPECT_EQ(names(), std::vector<std::string>{"taken"});
}

}  // namespace
}  // namespace efi::platform
