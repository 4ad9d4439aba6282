// Numbers as General shows them, date formats, and string escapes.
#include "workbook/cell_text.h"

#include <gtest/gtest.h>

namespace efi::workbook {
namespace {

TEST(CellText, WritesNumbersAsGeneral) {
  const std::pair<const char*, const char*> cases[] = {
      {"42", "42"},
      {"-7", "-7"},
      {"007", "7"},
      {"1.0", "1"},
      {"-0", "0"},
      {"0.1", "0.1"},
      {"1E-7", "1E-07"},
      {"1e15", "1E+15"},
      {"999999999999999", "999999999999999"},
      {"0.30000000000000004", "0.3"},
      {"0.3333333333333333", "0.333333333333333"},
      {"-1.5e-10", "-1.5E-10"},
      {"123456789.123456789", "123456789.123457"},
      {"1234567890123456789", "1.23456789012346E+18"},
  };
  for (const auto& [v, shown] : cases) {
    std::string out;
    EXPECT_TRUE(append_number_text(out, v)) << v;
    EXPECT_EQ(out, shown) << v;
  }
  std::string out;
  EXPECT_FALSE(append_number_text(out, "12abc"));
  EXPECT_FALSE(append_number_text(out, ""));
}

TEST(CellText, FormatsDatesAndTimes) {
  struct Case {
    const char* code;
    double serial;
    bool date1904;
    const char* shown;
  };
  const Case cases[] = {
      {"yyyy/m/d", 44501, false, "2021/11/1"},
      {"yyyy/mm/dd aaa", 44501, false, "2021/11/01 月"},
      {"yyyy\"年\"m\"月\"d\"日\"(aaaa)", 44501, false, "2021年11月1日(月曜日)"},
      {"[$-411]yyyy/m/d;@", 44501, false, "2021/11/1"},
      {"d-mmm-yy", 44501, false, "1-Nov-21"},
      {"dddd, mmmm d", 44501, false, "Monday, November 1"},
      {"yyyy/m/d", 1, false, "1900/1/1"},
      {"yyyy/m/d", 59, false, "1900/2/28"},
      {"yyyy/m/d", 60, false, "1900/2/29"},  // Excel's own leap day
      {"yyyy/m/d", 61, false, "1900/3/1"},
      {"yyyy/m/d", 0, false, "1900/1/0"},
      {"yyyy/m/d", 0, true, "1904/1/1"},
      {"yyyy/m/d", 43039, true, "2021/11/1"},
      {"h:mm", 0.5, false, "12:00"},
      {"h:mm:ss AM/PM", 0.75, false, "6:00:00 PM"},
      {"hh:mm A/P", 0.25, false, "06:00 A"},
      {"mm:ss", 1.0 / 1440 * 3.5, false, "03:30"},
      {"mm:ss.0", 1.0 / 86400 * 1.25, false, "00:01.3"},
      {"[h]:mm:ss", 1.5, false, "36:00:00"},
      {"h:mm:ss", 0.999999999, false, "0:00:00"},  // rounds into the next day
      {"yyyy/m/d h:mm", 44501.999999, false, "2021/11/2 0:00"},
      {"m\\/d \\h", 44501, false, "11/1 h"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_TRUE(DateFormat::is_date_code(c.code));
    std::string out;
    EXPECT_TRUE(DateFormat(c.code).append(out, c.serial, c.date1904));
    EXPECT_EQ(out, c.shown);
  }
  for (const char* code : {"General", "0.00", "#,##0", "\"d\"0", "[Red]0.0", "0%"})
    EXPECT_FALSE(DateFormat::is_date_code(code)) << code;
  std::string out;
  EXPECT_FALSE(DateFormat("yyyy/m/d").append(out, -1, false));
  EXPECT_FALSE(DateFormat("yyyy/m/d").append(out, 2958466, false));
  EXPECT_EQ(out, "");
}

TEST(CellText, UndoesSpreadsheetEscapes) {
  const std::pair<const char*, const char*> cases[] = {
      {"a_x000D_b", "a\rb"},       {"_x005F_x0041_", "_x0041_"},
      {"_xD83D__xDE00_", "😀"},    {"_x12_ _xZZZZ_", "_x12_ _xZZZZ_"},
      {"_x0041", "_x0041"},        {"tail_x", "tail_x"},
      {"_xD800_", "\xEF\xBF\xBD"},
  };
  for (const auto& [escaped, text] : cases) {
    std::string out;
    append_unescaped(out, escaped);
    EXPECT_EQ(out, text) << escaped;
  }
}

}  // namespace
}  // namespace efi::workbook
