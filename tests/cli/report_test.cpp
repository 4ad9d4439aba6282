// efload report as a process: the sample month's figures (counted by hand in
// scripts/make-samples.py), the three formats, and every failure with its
// message and exit status, the database left as it was and no file half
// written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "efload_test_support.h"

namespace efi::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// The sample month loaded once for every test: efload init, then one run
// over the six sample files.
class Report : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    loaded_ = std::make_unique<ScratchFolder>("efload-report");
    const std::string database = loaded_->path("vorn.sqlite3");
    ASSERT_EQ(run_efload({"init", "--db", database}, loaded_->folder()).exit_code, 0);
    const ProcessResult run = run_efload(
        {"run", "--db", database, "--yymm", "202110", "--en", samples + "EN_202110.txt", "--fn",
         samples + "FN_202110.txt", "--eg", samples + "EG_202110.txt", "--fg", samples + "FG_202110.txt",
         "--etc", samples + "tp20211101-01_05.xlsx", "--y", samples + "y_20250813.csv"},
        loaded_->folder());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  }
  static void TearDownTestSuite() { loaded_.reset(); }

  void SetUp() override {
    database = folder.path("vorn.sqlite3");
    fs::copy_file(loaded_->folder() / "vorn.sqlite3", path_of(database));
  }

  ProcessResult report(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "report");
    return run_efload(arguments, folder.folder());
  }

  static inline std::unique_ptr<ScratchFolder> loaded_;
  ScratchFolder folder{"efload-report"};  // the working folder: the database and what the report writes
  std::string database;                   // a copy of the loaded sample month
};

TEST_F(Report, SampleMonthGivesTheHandCountedSharesAndLeavesTheDatabaseAsItWas) {
  const std::string before = read_file(database);
  const ProcessResult result = report({"--yymm", "202110", "--db", database});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_THAT(result.err, IsEmpty());
  EXPECT_THAT(result.out, StartsWith("efload report: 202110, pattern 1\n  Y list "));
  EXPECT_THAT(
      result.out,
      HasSubstr("; drug list 20211101 (none is dated on or before the month's end: the oldest list is used)\n"
                "  inpatient: new index 36.6% (50 / 136.5), cut-off 82.0% (136.5 / 166.5); 15 usage rows\n"
                "  outpatient: new index 56.8% (210 / 370), cut-off 100.0% (370 / 370); 8 usage rows\n"
                "  data quality, inpatient: 1 price-list code not in the drug list\n"
                "  written: efimport-report-202110.html\n"));

  const std::string page = read_file(folder.path("efimport-report-202110.html"));
  EXPECT_THAT(page, HasSubstr("data-side=\"inpatient\" data-kind=\"new_index\" data-numerator=\"50\" "
                              "data-denominator=\"136.5\" data-share=\"36.6%\""));
  EXPECT_THAT(page, HasSubstr("<td class=\"code\">3259114S1026</td><td>エンシュア・Ｈ</td>"));
  EXPECT_EQ(read_file(database), before) << "the report wrote to the database";
  EXPECT_EQ(names_in(folder.folder()),
            (std::vector<std::string>{"efimport-report-202110.html", "vorn.sqlite3"}));
}

TEST_F(Report, CsvAndJsonCarryTheSameFigures) {
  ASSERT_EQ(report({"--yymm", "202110", "--db", database, "--format", "csv"}).exit_code, 0);
  const std::string csv = read_file(folder.path("efimport-report-202110.csv"));
  EXPECT_THAT(csv, StartsWith("\xEF\xBB\xBF"));
  EXPECT_THAT(csv, HasSubstr("\r\n202110,入院,15,20211101,代用,36.6%,50,136.5,82.0%,136.5,166.5\r\n"
                             "202110,外来,8,20211101,代用,56.8%,210,370,100.0%,370,370\r\n"));

  const std::string json_file = folder.path("month.json");
  const ProcessResult json =
      report({"--yymm", "202110", "--db", database, "--format", "json", "--out", json_file, "--months", "1"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_THAT(json.out, HasSubstr("written: " + json_file + "\n"));
  const std::string text = read_file(json_file);
  EXPECT_THAT(
      text,
      AllOf(HasSubstr("\"new_index\": {\n          \"numerator\": 50,\n          \"denominator\": 136.5"),
            HasSubstr("\"drug_list_fallback\": true"), HasSubstr("\"pattern\": 1")));
  EXPECT_EQ(text.find("\"yymm\": \"202109\""), std::string::npos) << "--months 1 shows the month alone";
}

TEST_F(Report, UsageErrorsExitTwoAndWriteNothing) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // standard error after "efload: "
  };
  const std::vector<Case> cases = {
      {{}, "efload report needs --yymm, the month of the report (e.g. --yymm 202110)"},
      {{"--yymm", "2110"}, "--yymm of efload report must be YYYYMM, a year and a month 01 to 12, not '2110'"},
      {{"--yymm", "202113"},
       "--yymm of efload report must be YYYYMM, a year and a month 01 to 12, not '202113'"},
      {{"--yymm", "202110", "--months", "0"}, "--months must be a whole number from 1 to 120, not '0'"},
      {{"--yymm", "202110", "--months", "6x"}, "--months must be a whole number from 1 to 120, not '6x'"},
      {{"--yymm", "202110", "--format", "pdf"}, "--format must be html, csv or json, not 'pdf'"},
      {{"--yymm", "202110", "--pattern", "0"}, "--pattern must be 1 or 2, not '0'"},
      {{"--yymm", "202110", "--timings"}, "option --timings does not belong to 'efload report'"},
      {{"--yymm", "202110", "--en", "EN.txt"}, "option --en does not belong to 'efload report'"},
      {{"--yymm", "202110", "--out"}, "option --out needs a value (FILE)"},
  };
  const std::string before = read_file(database);
  for (const Case& c : cases) {
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"--db", database});
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const ProcessResult result = report(arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.err, "efload: " + c.message + "\n");
    EXPECT_THAT(result.out, IsEmpty());
    EXPECT_EQ(names_in(folder.folder()), std::vector<std::string>{"vorn.sqlite3"});
  }
  EXPECT_EQ(read_file(database), before);
}

TEST_F(Report, MissingDatabaseIsAUsageErrorAndIsNotCreated) {
  const std::string missing = folder.path("elsewhere.sqlite3");
  const ProcessResult result = report({"--yymm", "202110", "--db", missing});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.err, "efload: the database " + missing +
                            " does not exist (give the database efload run loaded with --db PATH)\n");
  EXPECT_EQ(names_in(folder.folder()), std::vector<std::string>{"vorn.sqlite3"});
}

TEST_F(Report, FailuresExitOneWithTheirMessageAndKeepAnEarlierReportWhole) {
  // An earlier report of the month, which no failure below may touch.
  ASSERT_EQ(report({"--yymm", "202110", "--db", database}).exit_code, 0);
  const std::string earlier = read_file(folder.path("efimport-report-202110.html"));
  const std::string before = read_file(database);

  struct Case {
    std::string name;
    std::vector<std::string> arguments;
    std::vector<std::string> message;  // parts of standard error
  };
  const std::vector<Case> cases = {
      {"no rows for the month",
       {"--yymm", "202001"},
       {"efload: no drug usage rows for 202001, pattern 1: EFn and EFg hold none for it.",
        "efload run --yymm 202001"}},
      {"pattern 2 not loaded",
       {"--yymm", "202110", "--pattern", "2"},
       {"no drug usage rows for 202110, pattern 2", "--pattern 2"}},
      {"output folder missing",
       {"--yymm", "202110", "--out", folder.path("no-such-folder/r.html")},
       {"efload: writing the report " + folder.path("no-such-folder/r.html") + ": cannot create the file",
        "(nothing was written; choose another file with --out)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.end(), {"--db", database});
    const ProcessResult result = report(arguments);
    EXPECT_EQ(result.exit_code, 1);
    for (const std::string& part : c.message) EXPECT_THAT(result.err, HasSubstr(part));
    EXPECT_THAT(result.out, IsEmpty());
  }
  {
    const WindowLock window(database);
    const ProcessResult result = report({"--yymm", "202110", "--db", database});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_THAT(result.err,
                AllOf(HasSubstr("efload: the database " + database + " is locked by another program"),
                      HasSubstr("EFImport window"), HasSubstr("close the window")));
  }
  EXPECT_EQ(read_file(folder.path("efimport-report-202110.html")), earlier);
  EXPECT_EQ(read_file(database), before);
  EXPECT_EQ(names_in(folder.folder()),
            (std::vector<std::string>{"efimport-report-202110.html", "vorn.sqlite3"}));
}

TEST_F(Report, HelpDescribesTheCommandAndItsExitStatuses) {
  for (const auto& ask : std::vector<std::vector<std::string>>{{"help", "report"}, {"report", "--help"}}) {
    const ProcessResult result = run_efload(ask, folder.folder());
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_THAT(result.out,
                AllOf(HasSubstr("efload report --yymm YYYYMM"), HasSubstr("--months N"),
                      HasSubstr("--format html|csv|json"), HasSubstr("--out FILE"), HasSubstr("read-only"),
                      HasSubstr("Exit status:"), HasSubstr("held by the EFImport window")));
  }
}

}  // namespace
}  // namespace efi::cli::testing
