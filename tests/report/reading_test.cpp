// How the report reads a database: by position in tables made by another
// program, read-only (the file unchanged to the byte, nothing created, no
// lock kept), and with a message for each database it cannot read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "report/figures.h"
#include "report_fixture.h"

namespace efi::report {
namespace {

using test::FixtureDb;
using ::testing::AllOf;
using ::testing::HasSubstr;

// The eight tables as another program might make them: the same columns in
// the same order, other names where the loads' SQL names none, other types,
// no indexes.
void foreign_tables(FixtureDb& db) {
  db.exec(
      "CREATE TABLE efn (YYMM TEXT, yymmkbn INTEGER, a3, a4, a5, a6, a7, a8, a9, a10, \"receipt \"\"code\"\"\", "
      "a12, a13, \"amount (x)\" TEXT)");
  db.exec("CREATE TABLE EFG (yymm, yymmkbn, b3, b4, b5, b6, b7, b8, b9, [rc], b11, b12, qty REAL)");
  db.exec("CREATE TABLE Kyak (ymd NUMERIC, c2, \"成分名\", \"品名\", kubun, c6, c7, c8, jogai)");
  db.exec("CREATE TABLE Yak (ymd INTEGER, yjcode, hyoji, \"yakka code\")");
  for (const char* t : {"En", "Eg", "Fn", "Fg"}) db.exec(std::string("CREATE TABLE ") + t + " (x)");
}

TEST(Reading, ForeignColumnNamesTypesAndNoIndexesGiveTheSameFigures) {
  FixtureDb db(false);
  foreign_tables(db);
  db.exec("INSERT INTO Yak VALUES (20250813, '610000001', 'brand', '1111111F1011')");
  db.exec("INSERT INTO Yak VALUES (20250813, '610000002', 'generic', '1111111F1020')");
  db.exec("INSERT INTO Yak VALUES (20240101, '610000002', 'old list', '1111111F1011')");
  db.exec("INSERT INTO Kyak VALUES ('20211001', '1111111F1011', 'ing', 'ブランド錠', '2', '', '', '', '')");
  db.exec(
      "INSERT INTO Kyak VALUES ('20211001', '1111111F1020', 'ing', 'ジェネリック錠', '3', '', '', '', '')");
  const std::string row = ", 1, 2, 3, 4, 5, 6, 7, 8, ";
  // yymmkbn stored as the integer 0, amounts as text and as reals
  db.exec("INSERT INTO efn VALUES ('202110', 0" + row + "'610000001', 'n', 'd', '10.5')");
  db.exec("INSERT INTO efn VALUES ('202110', 0" + row + "'610000002', 'n', 'd', '31.5')");
  db.exec("INSERT INTO efn VALUES ('202110', 1" + row + "'610000002', 'n', 'd', '1000')");
  db.exec("INSERT INTO EFG VALUES ('202110', '0', 1, 2, 3, 4, 5, 6, 7, '610000002', 'n', 'd', 2.5)");
  db.close();

  const ReportFigures figures = read_report(db.path, {"202110", 1, 1});
  EXPECT_EQ(figures.y_list_date, "20250813");
  const MonthFigures& month = figures.months.at(0);
  EXPECT_EQ(month.drug_list_date, "20211001");
  EXPECT_EQ(month.inpatient.rows, 2);
  EXPECT_EQ(plain_text(month.inpatient.new_index.numerator), "31.5");
  EXPECT_EQ(plain_text(month.inpatient.new_index.denominator), "42");
  EXPECT_EQ(percent_text(month.inpatient.new_index), "75.0%");
  EXPECT_EQ(month.inpatient.top_brand.at(0).product, "ブランド錠");
  EXPECT_EQ(percent_text(month.outpatient.new_index), "100.0%");
  EXPECT_EQ(plain_text(month.outpatient.new_index.numerator), "2.5");
}

TEST(Reading, TablesWithoutRowidsAndMonthsInterleavedAreReadWhole) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "2");
  db.drug("610000002", "1111111F1020", "3");
  // Rows of the report month between rows of other keys: the span of the
  // month's rowids holds rows that are not its own.
  db.inpatient("610000002", "3");
  db.inpatient("610000002", "100", "202110", "1");
  db.inpatient("610000002", "100", "202109");
  db.inpatient("610000001", "1");
  // EFg without rowids, with an index that leads with yymm.
  db.exec("DROP TABLE EFg");
  db.exec(
      "CREATE TABLE EFg (yymm, yymmkbn, b3, b4, b5, b6, b7, b8, b9, rc, b11, b12, qty, "
      "PRIMARY KEY (yymm, yymmkbn, b3, rc)) WITHOUT ROWID");
  db.exec("CREATE INDEX EFg_month ON EFg (yymm, yymmkbn)");
  db.exec("INSERT INTO EFg VALUES ('202110', '0', 1, 2, 3, 4, 5, 6, 7, '610000002', 'n', 'd', 5)");
  db.exec("INSERT INTO EFg VALUES ('202110', '0', 2, 2, 3, 4, 5, 6, 7, '610000001', 'n', 'd', 15)");
  db.close();
  const ReportFigures figures = read_report(db.path, {"202110", 1, 1});
  const MonthFigures& month = figures.months.at(0);
  EXPECT_EQ(month.inpatient.rows, 2);
  EXPECT_EQ(percent_text(month.inpatient.new_index), "75.0%");
  EXPECT_EQ(month.outpatient.rows, 2);
  EXPECT_EQ(percent_text(month.outpatient.new_index), "25.0%");
}

struct UnreadableCase {
  std::string name;
  std::function<void(FixtureDb&)> spoil;  // on a database with rows for 202110
  std::vector<std::string> message;       // parts of the ReportError's text
};

void PrintTo(const UnreadableCase& c, std::ostream* out) { *out << c.name; }

class Unreadable : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(Unreadable, FailsWithAMessageAndLeavesTheFileAsItWas) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "3");
  db.inpatient("610000001", "1");
  GetParam().spoil(db);
  db.close();
  const std::string before = test::file_bytes(db.path);
  try {
    read_report(db.path, {"202110", 1, 6});
    ADD_FAILURE() << "the report read a spoiled database";
  } catch (const ReportError& e) {
    for (const std::string& part : GetParam().message) EXPECT_THAT(e.what(), HasSubstr(part));
  }
  EXPECT_EQ(test::file_bytes(db.path), before);
}

const UnreadableCase unreadable_cases[] = {
    {"missing_table",
     [](FixtureDb& db) { db.exec("DROP TABLE kyak"); },
     {"cannot report from ", "vorn.sqlite3: the table kyak is missing", "efload init"}},
    {"table_of_another_column_count",
     [](FixtureDb& db) {
       db.exec("DROP TABLE yak");
       db.exec("CREATE TABLE yak (ymd, yjcode, name, yakcode, extra)");
     },
     {"the table yak has 5 columns where the loads fill 4"}},
    {"usage_table_of_another_column_count",
     [](FixtureDb& db) {
       db.exec("DROP TABLE EFg");
       db.exec("CREATE TABLE EFg (yymm, yymmkbn, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12, c13, c14)");
     },
     {"the table EFg has 14 columns where the loads fill 13"}},
    {"no_rows_for_the_month",
     [](FixtureDb& db) { db.exec("DELETE FROM EFn"); },
     {"no drug usage rows for 202110, pattern 1"}},
};

INSTANTIATE_TEST_SUITE_P(Databases, Unreadable, ::testing::ValuesIn(unreadable_cases),
                         [](const auto& info) { return info.param.name; });

TEST(Reading, LeavesTheFileUnchangedCreatesNothingAndKeepsNoLock) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "3");
  db.inpatient("610000001", "1");
  db.close();
  const std::string before = test::file_bytes(db.path);
  const auto modified = std::filesystem::last_write_time(std::filesystem::u8path(db.path));

  EXPECT_EQ(read_report(db.path, {"202110", 1, 6}).months.size(), 6u);

  EXPECT_EQ(test::file_bytes(db.path), before);
  EXPECT_EQ(std::filesystem::last_write_time(std::filesystem::u8path(db.path)), modified);
  EXPECT_EQ(efi::test_support::names_in(db.dir.folder()), std::vector<std::string>{"vorn.sqlite3"})
      << "no journal or other file is left";
  // No lock kept: a writer gets the file at once.
  test::Raw writer(db.path);
  sqlite3_busy_timeout(writer.handle(), 0);
  EXPECT_NO_THROW(writer.exec("BEGIN EXCLUSIVE; DELETE FROM EFn; COMMIT;"));
}

TEST(Reading, DatabaseHeldByTheWindowSaysToCloseIt) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "3");
  db.inpatient("610000001", "1");
  db.close();
  // Held as the window holds it between runs: exclusive locking mode after a
  // write transaction, the connection left open.
  test::Raw window(db.path);
  window.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;");
  try {
    read_report(db.path, {"202110", 1, 6});
    ADD_FAILURE() << "read a database held exclusively";
  } catch (const ReportError& e) {
    EXPECT_THAT(e.what(), AllOf(HasSubstr("the database " + db.path + " is locked by another program"),
                                HasSubstr("EFImport window"), HasSubstr("close the window")));
  }
}

TEST(Reading, MissingDatabaseIsNotCreatedAndOtherFilesAreNoDatabase) {
  test::ScratchFolder dir{"efi-report"};
  const std::string missing = dir.path("none.sqlite3");
  try {
    read_report(missing, {"202110", 1, 6});
    ADD_FAILURE() << "read a missing database";
  } catch (const ReportError& e) {
    EXPECT_THAT(e.what(), HasSubstr("cannot open the database " + missing));
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(missing)));

  const std::string text = dir.path("notes.txt");
  std::ofstream(std::filesystem::u8path(text))
      << "not a database, but long enough to look like one's header....";
  try {
    read_report(text, {"202110", 1, 6});
    ADD_FAILURE() << "read a text file";
  } catch (const ReportError& e) {
    EXPECT_THAT(e.what(), HasSubstr(text + " is not an SQLite database"));
  }
}

}  // namespace
}  // namespace efi::report
