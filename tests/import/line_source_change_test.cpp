// A file that another program changes between the counting pass and the
// reading pass must fail to read, never come out as lines of two versions;
// on Windows the share mode refuses the change and the file reads whole.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "file_changes.h"
#include "import/line_source.h"
#include "support/scratch_folder.h"

namespace efi::import::testing {
namespace {

using efi::test_support::ScratchFolder;

using Lines = std::vector<std::string>;

struct ChangeCase {
  const char* what;
  std::string bytes;  // the file as opened
  Lines lines;        // its lines
  // Changes the file at `path`; `folder` has room for a replacement.
  std::function<bool(const std::string& path, const ScratchFolder& folder)> change;
  std::string reason;  // in brackets after "the file changed while it was read"
};

const std::string six_bytes = "a\r\nb\r\n";
const std::string utf8_mark = "\xEF\xBB\xBF";

std::vector<ChangeCase> change_cases() {
  return {
      {"a line appended",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder&) { return change::append(p, "c\r\n"); },
       "more than the 6 bytes read first"},
      {"cut short",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder&) { return change::cut_to(p, 3); },
       "6 bytes read first, 3 the second time"},
      {"emptied",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder&) { return change::cut_to(p, 0); },
       "6 bytes read first, 0 the second time"},
      // The old file's bytes still read whole through the open handle; only
      // its name now belongs to another file.
      {"replaced by another file",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder& f) {
         return change::replace_with(p, f.file("copy.tmp", "x\r\ny\r\n"));
       },
       "another file has taken its name"},
      {"removed",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder&) { return change::remove(p); },
       "it is no longer there"},
      {"rewritten in place, same size and lines",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder&) { return change::rewrite_in_place(p, "x\r\ny\r\n"); },
       "it was modified after it was opened"},
      // Same size, other breaks: the count of lines shows it whatever the clock.
      {"rewritten with more lines",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder&) { return change::rewrite_in_place(p, "a\nb\nc\n"); },
       "more than the 2 lines counted first"},
      {"rewritten with fewer lines",
       six_bytes,
       {"a", "b"},
       [](const std::string& p, const ScratchFolder&) { return change::rewrite_in_place(p, "abcd\r\n"); },
       "2 lines counted first, 1 the second time"},
      // A strictly decoded file that the first pass found valid.
      {"invalid UTF-8 written in place",
       utf8_mark + "ok\r\nok\r\nok\r\n",
       {"ok", "ok", "ok"},
       [](const std::string& p, const ScratchFolder&) {
         return change::rewrite_in_place(p, utf8_mark + "ok\r\n\xC0\x80");
       },
       "the second reading found invalid UTF-8 at byte offset 7"},
  };
}

class LineSourceChange : public ::testing::Test {
 protected:
  ScratchFolder folder_{"efi-change"};
};

TEST_F(LineSourceChange, BetweenThePassesFailsTheRead) {
  for (const ChangeCase& c : change_cases()) {
    for (std::size_t block : {std::size_t{3}, LineSource::default_block_size}) {
      SCOPED_TRACE(std::string(c.what) + ", blocks of " + std::to_string(block));
      const std::string path = folder_.file("input.txt", c.bytes);
      bool is_changed = false;
      int calls = 0;
      BetweenPasses seam([&](const std::string& seen) {
        ++calls;
        EXPECT_EQ(seen, path);
        is_changed = c.change(path, folder_);
      });
      Lines lines;
      try {
        LineSource source(path, block);
        EXPECT_EQ(source.line_count(), c.lines.size());
        std::string_view line;
        while (source.next(line)) lines.emplace_back(line);
        EXPECT_FALSE(source.next(line));  // stays at the end
#ifndef _WIN32
        ADD_FAILURE() << "read " << lines.size() << " lines without a failure";
#endif
      } catch (const ReadError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": the file changed while it was read (" + c.reason + ")");
        EXPECT_EQ(e.failure().kind, FailureKind::changed_file);
        EXPECT_EQ(e.path(), path);
        EXPECT_EQ(e.line_number(), 0u);  // the change belongs to no line
      }
      EXPECT_EQ(calls, 1);
#ifdef _WIN32
      // Reading shares only reading: writing, renaming over and removing are refused.
      EXPECT_FALSE(is_changed);
      EXPECT_EQ(lines, c.lines);
#else
      ASSERT_TRUE(is_changed) << "the test could not change the file";
#endif
      std::error_code ignored;
      std::filesystem::remove(path_of(path), ignored);
    }
  }
}

TEST_F(LineSourceChange, AnUnchangedFileReadsWholeAndStaysAtItsEnd) {
  // The seam runs and leaves the file alone; so does someone reading it.
  const std::string path = folder_.file("input.txt", six_bytes);
  BetweenPasses seam([&](const std::string&) {
    std::ifstream reader(path_of(path), std::ios::binary);
    EXPECT_TRUE(reader.is_open());
  });
  LineSource source(path, 3);
  Lines lines;
  std::string_view line;
  while (source.next(line)) lines.emplace_back(line);
  EXPECT_EQ(lines, (Lines{"a", "b"}));
  EXPECT_FALSE(source.next(line));
}

#ifndef _WIN32
// A change after the last line was handed out, before the reader asked for
// more, still shows: the check runs when the end is reached.
TEST_F(LineSourceChange, AChangeDuringTheSecondPassShowsAtTheEnd) {
  const std::string path = folder_.file("input.txt", six_bytes);
  LineSource source(path);
  std::string_view line;
  ASSERT_TRUE(source.next(line));
  ASSERT_TRUE(source.next(line));
  EXPECT_EQ(line, "b");
  ASSERT_TRUE(change::rewrite_in_place(path, "x"));
  try {
    source.next(line);
    ADD_FAILURE() << "reached the end of a changed file without a failure";
  } catch (const ReadError& e) {
    EXPECT_EQ(std::string(e.what()),
              path + ": the file changed while it was read (it was modified after it was opened)");
  }
  // Asking again does not skip past the failure.
  EXPECT_THROW(source.next(line), ReadError);
}
#endif

}  // namespace
}  // namespace efi::import::testing
