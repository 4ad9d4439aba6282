// Strict splitting of one line into fields, tab-delimited and as comma text.
#include "import/field_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace efi::import {
namespace {

std::vector<std::string> fields_of(const FieldList& list) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < list.count(); ++i) out.emplace_back(list.at(i));
  return out;
}

std::vector<std::string> split(std::string_view line, char delimiter) {
  FieldList list;
  list.split(line, delimiter);
  return fields_of(list);
}

using Fields = std::vector<std::string>;

TEST(FieldList, SplitsTabDelimitedLinesStrictly) {
  struct Case {
    std::string line;
    Fields fields;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\t", {"a", ""}},
      {"\t", {"", ""}},
      {"a\t\tb", {"a", "", "b"}},
      {"\ta", {"", "a"}},
      {" a ", {" a "}},
      {"\"x\ty\"\tz", {"x\ty", "z"}},
      {"\"ab\"c\td", {"ab", "c", "d"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"\"\"", {""}},
      {"\"abc", {"abc"}},
      {"x\"y\"", {"x\"y\""}},
      {"\"a\" \tb", {"a", " ", "b"}},
      // beyond the table: more quoting, trimming and the NUL
      {"\"a\"\"b", {"a\"b"}},  // no closing quote: pairs still stand for one
      {"\"a\"\"", {"a\""}},
      {"\"a\"\t", {"a", ""}},  // a delimiter at the end after a quoted field
      {"\"a\"\"b\"\"c\"\t\"\"\"\"", {"a\"b\"c", "\""}},
      {"\xE3\x80\x80x\xE3\x80\x80\t y\r", {"\xE3\x80\x80x\xE3\x80\x80", " y\r"}},  // full-width spaces, CR
      {std::string("a\tb\0c\td", 7), {"a", "b"}},
      {std::string("\0a", 2), {}},
      {"a,b", {"a,b"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split(c.line, FieldList::tab), c.fields) << testing::PrintToString(c.line);
  }
}

TEST(FieldList, CommaTextKeepsStrictModeAndTabSplittingWorksAfterwards) {
  FieldList list;
  list.split("a, b", FieldList::comma);
  EXPECT_EQ(fields_of(list), (Fields{"a", " b"}));
  list.split("\"1,5\",\"x\"\"y\",", FieldList::comma);
  EXPECT_EQ(fields_of(list), (Fields{"1,5", "x\"y", ""}));
  list.split("\"\xE5\x8C\xBB\xE8\x96\xAC\xE5\x93\x81\",620000001,", FieldList::comma);  // "医薬品",620000001,
  EXPECT_EQ(fields_of(list), (Fields{"\xE5\x8C\xBB\xE8\x96\xAC\xE5\x93\x81", "620000001", ""}));
  list.split("a,b\tc,d", FieldList::tab);
  EXPECT_EQ(fields_of(list), (Fields{"a,b", "c,d"}));
}

TEST(FieldList, ReadingPastTheLastFieldFails) {
  FieldList list;
  list.split("", FieldList::tab);
  try {
    list.at(0);
    FAIL() << "field 0 of an empty line";
  } catch (const FieldIndexError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot read field 0: the line has 0 fields");
    EXPECT_EQ(e.index(), 0u);
    EXPECT_EQ(e.count(), 0u);
  }
  list.split("a\tb\tc", FieldList::tab);
  EXPECT_EQ(list.at(2), "c");
  try {
    list.at(24);
    FAIL() << "field 24 of a three-field line";
  } catch (const FieldIndexError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot read field 24: the line has 3 fields");
    EXPECT_EQ(e.index(), 24u);
    EXPECT_EQ(e.count(), 3u);
  }
  list.split("a", FieldList::tab);
  EXPECT_THROW(list.at(1), std::out_of_range);
}

// Many unquoted fields in one line make the buffer behind them grow while the
// line is split; every field must still read back right.
TEST(FieldList, UnquotedFieldsStayValidWhenTheirBufferGrows) {
  std::string line;
  Fields expected;
  for (int i = 0; i < 200; ++i) {
    const std::string text = std::string(static_cast<std::size_t>(i % 40), 'x') + std::to_string(i);
    line += "\"" + text + "\"\"q\"\t";
    expected.push_back(text + "\"q");
  }
  expected.push_back("");
  FieldList list;
  list.split(line, FieldList::tab);
  EXPECT_EQ(fields_of(list), expected);
  // A second, shorter line reuses the buffers and reads back right too.
  list.split("\"p\"\"\"\tplain", FieldList::tab);
  EXPECT_EQ(fields_of(list), (Fields{"p\"", "plain"}));
}

TEST(FieldList, FieldsPointIntoTheLine) {
  const std::string line = "abc\tdef";
  FieldList list;
  list.split(line, FieldList::tab);
  EXPECT_EQ(list.at(1).data(), line.data() + 4);  // no copy for a plain field
}

}  // namespace
}  // namespace efi::import
