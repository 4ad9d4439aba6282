// Reading ahead on a second thread must give exactly what reading and
// splitting in place gives: the same lines with the same fields in order,
// across batch ends, a failure after the lines before it, and an early stop.
#include "import/read_ahead.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace efi::import {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class ReadAheadTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) { return folder_.file(name, bytes); }
  efi::test_support::ScratchFolder folder_{"efi-ahead"};
};

// Every line split in place, the way the loader read before reading ahead.
Rows read_in_place(const std::string& path, char delimiter) {
  LineSource source(path, 4096);
  FieldList fields;
  Rows rows;
  std::string_view line;
  while (source.next(line)) {
    fields.split(line, delimiter);
    rows.emplace_back();
    for (std::size_t i = 0; i < fields.count(); ++i) rows.back().emplace_back(fields.at(i));
  }
  return rows;
}

Rows read_ahead(const std::string& path, char delimiter, std::size_t* lines_before_failure = nullptr) {
  LineSource source(path, 4096);
  ReadAhead ahead(source, delimiter);
  Rows rows;
  const FieldList* fields = nullptr;
  try {
    while (ahead.next(fields)) {
      rows.emplace_back();
      for (std::size_t i = 0; i < fields->count(); ++i) rows.back().emplace_back(fields->at(i));
    }
  } catch (...) {
    if (lines_before_failure) *lines_before_failure = rows.size();
    throw;
  }
  return rows;
}

TEST_F(ReadAheadTest, GivesTheLinesAndFieldsOfAReadInPlace) {
  // Several batches by count and by size: short lines, quoted fields with
  // doubled quotes (copied inside their field list), empty lines, and one
  // line longer than a whole batch.
  std::string text;
  for (int i = 0; i < 3 * static_cast<int>(ReadAhead::batch_lines) + 17; ++i) {
    text += std::to_string(i) + "\t\"q\"\"" + std::to_string(i) + "\"\"\"\tx\r\n";
    if (i % 500 == 0) text += "\r\n";
    if (i == 1500) text += "long\t" + std::string(ReadAhead::batch_bytes + 1000, 'L') + "\tend\n";
  }
  const std::string path = write("mixed.txt", text);
  const Rows expected = read_in_place(path, FieldList::tab);
  ASSERT_GT(expected.size(), 3 * ReadAhead::batch_lines);
  EXPECT_EQ(read_ahead(path, FieldList::tab), expected);
  EXPECT_EQ(read_ahead(path, FieldList::comma), read_in_place(path, FieldList::comma));
}

TEST_F(ReadAheadTest, EmptyFileHasNoLines) {
  EXPECT_TRUE(read_ahead(write("empty.txt", ""), FieldList::tab).empty());
  EXPECT_TRUE(read_ahead(write("mark.txt", "\xEF\xBB\xBF"), FieldList::tab).empty());
}

// Lines handed out before a read fails, and the line number it names.
struct Failure {
  std::size_t lines = 0;
  std::uint64_t line_number = 0;
};

template <typename Next>
Failure first_failure(Next&& next) {
  Failure f;
  try {
    while (next()) ++f.lines;
    ADD_FAILURE() << "no failure after " << f.lines << " lines";
  } catch (const ReadError& error) {
    f.line_number = error.line_number();
  }
  return f;
}

TEST_F(ReadAheadTest, FailureComesAfterEveryLineBeforeIt) {
  // A UTF-8 file that passes the first pass, then changes under the reader:
  // line 3000 gets a byte that is no UTF-8 (same size, so only the decoding
  // of its block sees it, in the third batch).
  std::string text = "\xEF\xBB\xBF";
  std::size_t bad_at = 0;
  for (int i = 1; i <= 5000; ++i) {
    if (i == 3000) bad_at = text.size();
    text += "line " + std::to_string(10000 + i) + "\tfield\n";
  }
  const std::string path = write("changing.txt", text);
  LineSource in_place(path, 4096);
  LineSource ahead_source(path, 4096);
  {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!file.is_open()) {
      GTEST_SKIP() << "the readers' share mode keeps the file from being changed (Windows)";
    }
    file.seekp(static_cast<std::streamoff>(bad_at));
    file.put('\xFF');
    ASSERT_TRUE(file.good()) << "the test could not change the file under its readers";
  }
  std::string_view line;
  const Failure expected = first_failure([&] { return in_place.next(line); });
  ReadAhead ahead(ahead_source, FieldList::tab);
  const FieldList* fields = nullptr;
  const Failure got = first_failure([&] { return ahead.next(fields); });
  EXPECT_GT(expected.lines, 2 * ReadAhead::batch_lines);
  EXPECT_EQ(got.lines, expected.lines);
  EXPECT_EQ(got.line_number, expected.line_number);
  // The failure stays: asking again does not skip past it.
  EXPECT_THROW(ahead.next(fields), ReadError);
}

TEST_F(ReadAheadTest, StoppingEarlyEndsTheReader) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "row\t" + std::to_string(i) + "\n";
  const std::string path = write("many.txt", text);
  for (const int taken : {0, 1, 2000}) {
    LineSource source(path, 4096);
    ReadAhead ahead(source, FieldList::tab);
    const FieldList* fields = nullptr;
    for (int i = 0; i < taken; ++i) {
      ASSERT_TRUE(ahead.next(fields));
      EXPECT_EQ(fields->at(1), std::to_string(i));
    }
  }  // each destructor must stop a reader that is waiting for room or still reading
}

}  // namespace
}  // namespace efi::import
