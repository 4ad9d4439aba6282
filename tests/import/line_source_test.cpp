// Reading files into lines: encodings, the cutting rules, block boundaries and
// the failures that must come before the first line. Fixtures are written
// into a folder of each test's own.
#include "import/line_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#endif

#include "support/scratch_folder.h"

namespace efi::import {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

class LineSourceTest : public ::testing::Test {
 protected:
  std::string write(const std::string& bytes, const std::string& name = "input.txt") {
    return folder_.file(name, bytes);
  }
  efi::test_support::ScratchFolder folder_{"efi-lines"};
};

// All lines of `source`, checking the line numbers on the way.
Lines read_all(LineSource& source) {
  Lines lines;
  std::string_view line;
  while (source.next(line)) {
    lines.emplace_back(line);
    EXPECT_EQ(source.line_number(), lines.size());
  }
  EXPECT_FALSE(source.next(line));  // stays at the end
  return lines;
}

std::string utf16le(const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units) bytes += static_cast<char>(u & 0xFF), bytes += static_cast<char>(u >> 8);
  return bytes;
}
std::string utf16be(const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units) bytes += static_cast<char>(u >> 8), bytes += static_cast<char>(u & 0xFF);
  return bytes;
}

// Every case is read with tiny blocks too, so breaks, CR LF pairs, marks and
// double-byte characters fall on block boundaries.
TEST_F(LineSourceTest, CutsLinesAndDecodesEveryEncoding) {
  struct Case {
    const char* what;
    std::string bytes;
    platform::Encoding encoding;
    Lines lines;
  };
  using platform::Encoding;
  const std::vector<Case> cases = {
      {"zero-byte file", "", Encoding::ansi, {}},
      {"one line without a break", "a", Encoding::ansi, {"a"}},
      {"CR LF at the end adds no line", "a\r\nb\r\n", Encoding::ansi, {"a", "b"}},
      {"CR LF CR LF at the end: one empty last line", "a\r\n\r\n", Encoding::ansi, {"a", ""}},
      {"lone CR", "a\rb\r", Encoding::ansi, {"a", "b"}},
      {"lone LF", "a\nb", Encoding::ansi, {"a", "b"}},
      {"LF CR ends two lines", "a\n\rb", Encoding::ansi, {"a", "", "b"}},
      {"LF CR at the end", "\n\r", Encoding::ansi, {"", ""}},
      {"every further break adds one", "a\n\n\n", Encoding::ansi, {"a", "", ""}},
      {"only a break", "\r\n", Encoding::ansi, {""}},
      {"NUL and 0x1A stay inside the line",
       "a\0b\x1A"
       "c\r\nd"s,
       Encoding::ansi,
       {"a\0b\x1A"
        "c"s,
        "d"}},
      {"code page 932",
       "\x93\xFC\x89\x40\t\x8A\x4F\x97\x88\r\n\xB1\xB2"s,
       Encoding::ansi,
       {"\u5165\u9662\t\u5916\u6765", "\uFF71\uFF72"}},
      {"a lead byte swallows the LF after it",
       "\x81\nA\nB",
       Encoding::ansi,
       {"\u30FB"
        "A",
        "B"}},
      {"a lead byte before NUL and at the end", "\x81\0\n\x81"s, Encoding::ansi, {"\u30FB\0"s, "\u30FB"}},
      {"UTF-8 without a mark is read as 932", "\xE3\x81\x82\n", Encoding::ansi, {"\u7E3A\u30FB"}},
      {"UTF-8 with a mark",
       "\xEF\xBB\xBF\xE3\x81\x82\r\n\xF0\x9F\x98\x80",
       Encoding::utf8,
       {"\u3042", "\xF0\x9F\x98\x80"}},
      {"a mark alone", "\xEF\xBB\xBF", Encoding::utf8, {}},
      {"UTF-16 LE",
       "\xFF\xFE"s + utf16le(u"\u5165\u9662\r\n\U0001F600\rx"),
       Encoding::utf16le,
       {"\u5165\u9662", "\xF0\x9F\x98\x80", "x"}},
      {"UTF-16 BE",
       "\xFE\xFF"s + utf16be(u"a\n\n\U0001F600"),
       Encoding::utf16be,
       {"a", "", "\xF0\x9F\x98\x80"}},
  };
  for (const Case& c : cases) {
    const std::string path = write(c.bytes);
    for (std::size_t block :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, LineSource::default_block_size}) {
      LineSource source(path, block);
      EXPECT_EQ(source.encoding(), c.encoding) << c.what;
      EXPECT_EQ(source.line_count(), c.lines.size()) << c.what << ", blocks of " << block;
      EXPECT_EQ(read_all(source), c.lines) << c.what << ", blocks of " << block;
      EXPECT_EQ(source.path(), path);
    }
  }
}

TEST_F(LineSourceTest, LinesLongerThanABlockAndBreaksAcrossBlocks) {
  const std::size_t block = LineSource::default_block_size;
  // The CR ends the first block and its LF starts the second: one break.
  const std::string first(block - 1, 'a');
  std::string longest;  // 亜 (88 9F) over two blocks and more
  for (std::size_t i = 0; i < block + 9; ++i) longest += "\x88\x9F";
  std::string bytes = first + "\r\n" + "\x88\x9F\r\n" + longest + "\n" + "end";
  const std::string path = write(bytes);
  LineSource source(path);
  EXPECT_EQ(source.line_count(), 4u);
  const Lines lines = read_all(source);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], first);
  EXPECT_EQ(lines[1], "\u4E9C");
  std::string expected;
  for (std::size_t i = 0; i < block + 9; ++i) expected += "\u4E9C";
  EXPECT_EQ(lines[2], expected);
  EXPECT_EQ(lines[3], "end");
}

TEST_F(LineSourceTest, LinesStayValidUntilTheNextCall) {
  const std::string path = write("first line\r\nsecond\r\n");
  LineSource source(path, 4);
  std::string_view line;
  ASSERT_TRUE(source.next(line));
  EXPECT_EQ(line, "first line");
  ASSERT_TRUE(source.next(line));
  EXPECT_EQ(line, "second");
  EXPECT_FALSE(source.next(line));
}

struct FailCase {
  const char* what;
  std::string bytes;
  std::uint64_t line;  // 0 when the failure is not tied to a line
  std::string reason;  // after "cannot read file '<path>': "
};

TEST_F(LineSourceTest, BadTextFailsBeforeTheFirstLine) {
  const std::string many_good_lines = [] {
    std::string text;
    for (int i = 0; i < 100; ++i) text += "\xE3\x81\x82 line\r\n";
    return text;
  }();
  const std::vector<FailCase> cases = {
      {"UTF-8 with a mark and one invalid sequence",
       "\xEF\xBB\xBF"
       "ok\r\nstill ok\r\nbad \xC0\x80 here\r\nok\r\n",
       3, "invalid UTF-8 at byte offset 21"},
      {"invalid UTF-8 far into the file", "\xEF\xBB\xBF" + many_good_lines + "\xED\xA0\x80", 101,
       "invalid UTF-8 at byte offset " + std::to_string(3 + many_good_lines.size())},
      {"truncated UTF-8 at the end",
       "\xEF\xBB\xBF"
       "a\n\xE3\x81",
       2, "invalid UTF-8 at byte offset 5"},
      {"UTF-16 with an odd number of bytes",
       "\xFF\xFE"
       "a\0b"s,
       0, "UTF-16 file has an odd number of bytes"},
      {"UTF-16 with an unpaired surrogate",
       "\xFF\xFE"
       "a\0\n\0\x3D\xD8"
       "b\0"s,
       2, "unpaired surrogate in UTF-16 at byte offset 6"},
      {"UTF-16 BE ending in a high surrogate", "\xFE\xFF\0a\xD8\x3D"s, 1,
       "unpaired surrogate in UTF-16 at byte offset 4"},
  };
  for (const FailCase& c : cases) {
    const std::string path = write(c.bytes);
    for (std::size_t block : {std::size_t{3}, LineSource::default_block_size}) {
      try {
        LineSource source(path, block);
        ADD_FAILURE() << c.what << ": opened, " << source.line_count() << " lines";
      } catch (const ReadError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot read file '" + path + "': " + c.reason) << c.what;
        EXPECT_EQ(e.line_number(), c.line) << c.what << ", blocks of " << block;
        EXPECT_EQ(e.path(), path);
      }
    }
  }
}

TEST_F(LineSourceTest, AMissingFileCannotBeOpened) {
  const std::string path = folder_.path("EFN_missing.txt");
  try {
    LineSource source(path);
    FAIL() << "opened a missing file";
  } catch (const ReadError& e) {
    const std::string prefix = "cannot open file '" + path + "': ";
    ASSERT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix);
#ifndef _WIN32
    EXPECT_EQ(std::string(e.what()), prefix + "No such file or directory");
#else
    EXPECT_GT(std::string(e.what()).size(), prefix.size());
#endif
    EXPECT_EQ(e.path(), path);
    EXPECT_EQ(e.line_number(), 0u);
  }
}

#ifdef _WIN32
TEST_F(LineSourceTest, AFileOpenForWritingCannotBeRead) {
  const std::string path = write("a\r\n");
  HANDLE writer = CreateFileW(platform::wide_from_utf8(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  try {
    LineSource source(path);
    ADD_FAILURE() << "read a file held open for writing";
  } catch (const ReadError& e) {
    const std::string prefix = "cannot open file '" + path + "': ";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix);
  }
  CloseHandle(writer);
}
#endif

}  // namespace
}  // namespace efi::import
