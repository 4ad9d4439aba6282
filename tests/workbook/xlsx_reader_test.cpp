// The built-in reader against small workbooks: the CSV bytes Excel's
// "CSV UTF-8" would hold, and every failure with its message and no output.
#include "workbook/xlsx_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "workbook_test_support.h"

namespace efi::workbook {
namespace {

using test::exists;
using test::fixture;
using test::read_bytes;

const std::string kBom = "\xEF\xBB\xBF";

struct CsvCase {
  const char* workbook;  // fixture file
  std::string csv;       // the whole expected file, byte-order mark excluded
};

class XlsxReaderTest : public test::ScratchDir {};

TEST_F(XlsxReaderTest, WritesTheActiveSheetAsExcelCsv) {
  const CsvCase cases[] = {
      {"values.xlsx",
       "code,name,amount,flag,,last\r\n"
       "1,0.1,1E-07,1E+20,123456789012345,-3.5\r\n"
       "0.3,2.5E-05,1234567.891,0,1E+17,0.0001\r\n"
       "TRUE,FALSE,,x,,\r\n"
       "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\", lead,trail ,\"cr\rhere\"\r\n"
       "ハロタン,チトゾール注用０．５ｇ,★,☆,①髙,𠮷\r\n"
       "2021/11/1,2021/11/01 13:05:09,9:30,2021年11月1日 PM 6時,12.5,\r\n"},
      // the second of three sheets is the active one
      {"sheets.xlsx", "active,sheet\r\n2,3\r\n"},
      // rich text joined, phonetic runs dropped, _x000D_ and _x005F_ undone,
      // cells and rows without references, cached formula results, a used
      // range that starts at B2 with a row missing inside it
      {"strings.xlsx",
       "plain,rich text ,,\"line\r\nbreak_x0041_\"\r\n"
       ",inline,,\r\n"
       ",,,\r\n"
       "\"x,y\",#DIV/0!,2,TRUE\r\n"},
      // no dimension: the cells give the range, from B3 to D5
      {"no_dimension.xlsx", "1,,\r\n,,\r\n,,2\r\n"},
      // a dimension smaller than the cells: the cells win
      {"stale_dimension.xlsx", "1,,\r\n,,2\r\n"},
      {"empty_sheet.xlsx", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.workbook);
    std::string out = path("out.csv");
    XlsxReader().convert(fixture(c.workbook), out, xlCSVUTF8);
    EXPECT_EQ(read_bytes(out), kBom + c.csv);
  }
}

TEST_F(XlsxReaderTest, ConvertsTwentyThousandRows) {
  std::string out = path("large.csv");
  XlsxReader().convert(fixture("large.xlsx"), out, xlCSVUTF8);
  std::istringstream csv(read_bytes(out));
  std::string line;
  int rows = 0;
  while (std::getline(csv, line)) {
    ASSERT_EQ(line.back(), '\r') << "row " << rows;
    line.pop_back();
    if (rows == 0) {
      EXPECT_EQ(line, kBom + "1112700000000,成分名0,品名 0,,,,0,備考");
    } else if (rows == 19999) {
      EXPECT_EQ(line, "1112700019999,成分名19999,品名 19999,3,,,9999.5,備考");
    }
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 7) << "row " << rows;
    ++rows;
  }
  EXPECT_EQ(rows, 20000);
}

TEST_F(XlsxReaderTest, ReadsAndWritesNonAsciiPaths) {
  std::string in = path("厚労省リスト.xlsx");
  if (!test::write_bytes(in, read_bytes(fixture("sheets.xlsx")))) {
#ifdef _WIN32
    // Wine maps names to Unix through the Unix locale; without a UTF-8 one
    // (ja_JP.UTF-8 not generated) it cannot create this name at all.
    GTEST_SKIP() << "this system cannot create a file named " << in;
#endif
    FAIL() << "cannot create " << in;
  }
  std::string out = path("変換後.csv");
  XlsxReader().convert(in, out, xlCSVUTF8);
  EXPECT_EQ(read_bytes(out), kBom + "active,sheet\r\n2,3\r\n");
}

struct FailureCase {
  const char* workbook;  // fixture file, or a name that does not exist
  XlsxLimits limits;     // bounds of the conversion
  std::string message;   // after "reading workbook "<path>": "
};

XlsxLimits small_limits() {
  XlsxLimits l;
  l.max_part_bytes = 1 << 20;
  l.max_shared_strings = 2;
  return l;
}

TEST_F(XlsxReaderTest, FailsWithAMessageAndLeavesNoOutput) {
  const FailureCase cases[] = {
      {"missing.xlsx", {}, "the file does not exist"},
      {"not_a_zip.xlsx", {}, "the file is not an .xlsx workbook (not a zip archive)"},
      {"no_workbook.xlsx", {}, "the zip archive holds no workbook (xl/workbook.xml is missing)"},
      {"truncated.xlsx", {}, "the zip archive is damaged or truncated"},
      {"damaged_sheet.xlsx", {}, "xl/worksheets/sheet1.xml, line 5: mismatched tag"},
      {"column_beyond_xfd.xlsx",
       {},
       "xl/worksheets/sheet1.xml, line 2: cell reference \"XFE1\" lies beyond column XFD"},
      {"bad_shared_index.xlsx",
       {},
       "xl/worksheets/sheet1.xml, line 2: shared string 7 does not exist (row 1)"},
      {"doctype.xlsx", {}, "xl/worksheets/sheet1.xml, line 2: a document type declaration is not allowed"},
      {"inflates.xlsx", small_limits(), "the part xl/worksheets/sheet1.xml expands beyond 1048576 bytes"},
      {"strings.xlsx", small_limits(), "xl/strings.xml, line 5: more than 2 shared strings"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.workbook);
    std::string out = path("out.csv");
    try {
      XlsxReader(c.limits).convert(fixture(c.workbook), out, xlCSVUTF8);
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& e) {
      EXPECT_EQ(std::string(e.what()), "reading workbook \"" + fixture(c.workbook) + "\": " + c.message);
    }
    EXPECT_FALSE(exists(out));
  }
}

TEST_F(XlsxReaderTest, RemovesAPartlyWrittenCsv) {
  XlsxLimits limits;
  limits.max_output_bytes = 100 * 1024;
  std::string out = path("large.csv");
  try {
    XlsxReader(limits).convert(fixture("large.xlsx"), out, xlCSVUTF8);
    ADD_FAILURE() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_EQ(std::string(e.what()),
              "writing the CSV file \"" + out + "\": the CSV would exceed 102400 bytes");
  }
  EXPECT_FALSE(exists(out));
}

TEST_F(XlsxReaderTest, RefusesOtherFormatsAndUnwritableOutput) {
  std::string out = path("out.csv");
  try {
    XlsxReader().convert(fixture("sheets.xlsx"), out, 6);
    ADD_FAILURE() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_EQ(std::string(e.what()), "converting workbook \"" + fixture("sheets.xlsx") +
                                         "\": the built-in reader writes only CSV UTF-8 (62), not 6");
  }
  EXPECT_FALSE(exists(out));

  std::string nowhere = path("no such folder/out.csv");
  try {
    XlsxReader().convert(fixture("sheets.xlsx"), nowhere, xlCSVUTF8);
    ADD_FAILURE() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_EQ(std::string(e.what()), "writing the CSV file \"" + nowhere + "\": No such file or directory");
  }
}

}  // namespace
}  // namespace efi::workbook
