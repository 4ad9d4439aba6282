// replace_file: a new file, a replaced one, and a failure that leaves the
// target as it was and no temporary file behind.
#include "platform/replace_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "support/scratch_folder.h"

namespace efi::platform {
namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::utf8_of;

class ReplaceFile : public testing::Test {
 protected:
  std::vector<std::string> names() const { return test_support::names_in(folder_); }
  test_support::ScratchFolder scratch_{"efi-replace"};
  const fs::path& folder_ = scratch_.folder();
};

TEST_F(ReplaceFile, WritesANewFileAndReplacesAnOldOneWhole) {
  const fs::path target = folder_ / u8"レポート.html";
  const std::string bytes = std::string("\xEF\xBB\xBF") + "置換え率,75.0%\r\n" + std::string(300000, 'x');
  replace_file(utf8_of(target), bytes);
  EXPECT_EQ(read_file(utf8_of(target)), bytes);

  std::ofstream(target, std::ios::binary | std::ios::trunc) << "an older, longer report than the new one";
  replace_file(utf8_of(target), "new");
  EXPECT_EQ(read_file(utf8_of(target)), "new");
  EXPECT_EQ(names(), std::vector<std::string>{utf8_of(fs::path(u8"レポート.html"))})
      << "no temporary file is left";
}

TEST_F(ReplaceFile, AFailureLeavesNothingBehindAndNamesTheFile) {
  const fs::path missing_folder = folder_ / "no-such-folder" / "report.html";
  try {
    replace_file(utf8_of(missing_folder), "page");
    ADD_FAILURE() << "wrote into a folder that does not exist";
  } catch (const std::system_error& e) {
    EXPECT_THAT(e.what(), testing::HasSubstr("cannot create the file '" + utf8_of(missing_folder) + "."));
  }

  // A target that is a folder: the rename fails after the temporary file was
  // written, and the temporary file goes again.
  const fs::path folder_target = folder_ / "taken";
  fs::create_directories(folder_target / "inside");
  try {
    replace_file(utf8_of(folder_target), "page");
    ADD_FAILURE() << "replaced a folder";
  } catch (const std::system_error& e) {
    EXPECT_THAT(e.what(), testing::HasSubstr("cannot rename"));
  }
  EXPECT_TRUE(fs::is_directory(folder_target / "inside"));
  EXPECT_EQ(names(), std::vector<std::string>{"taken"});
}

}  // namespace
}  // namespace efi::platform
