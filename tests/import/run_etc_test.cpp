// The ministry's drug list step: conversion into the temporary CSV, the four
// skipped lines, the list date from the workbook's name, and its failures.
#include <gtest/gtest.h>

#include <filesystem>

#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

const std::string etc_error = "step_error:ETCファイル(厚労省)取り込みエラー";
const std::string completion = "completion:データ取り込みが終了しました。|EFファイル取り込み";

class EtcStep : public RunTest {
 protected:
  // The converted CSV: four lines the step skips, then `data`.
  static std::string csv(const std::vector<std::string>& data) {
    std::vector<std::string> lines{"title", "", "a,b,c,d,e,f,g,h", "code,name"};
    lines.insert(lines.end(), data.begin(), data.end());
    return "\xEF\xBB\xBF" + lines_of(lines);
  }
  bool temp_exists() const { return std::filesystem::exists(path_of(environment.temp_csv_path)); }
  void leave_stale_temp() { file("vornexport.csv", "left by a crash\r\n"); }

  // Imports `data` from a workbook called `name`.
  RunOutcome import(const std::string& name, const std::vector<std::string>& data) {
    converter.csv = csv(data);
    only(Source::etc, path(name));
    return run();
  }
};

TEST_F(EtcStep, StoresTheLinesAfterTheFourthUnderTheListDate) {
  leave_stale_temp();
  const RunOutcome outcome =
      import("ab20211001.xlsx", {
                                    "c1,s1,h1,f1,b1,b2,b3,b4",
                                    "c2,s2,h2,f2,b1,b2,b3",           // seven fields: bikou4 empty
                                    "c3,s3,h3,f3,b1,b2,b3,",          // an empty eighth field
                                    "c4,s4,h4,f4,b1,b2,b3,b4,extra",  // a ninth field is dropped
                                    "c5,\"s,5\", h5,f5,b1,b2,b3,b4",  // a quoted comma, a leading blank
                                });

  EXPECT_EQ(outcome, RunOutcome::completed);
  EXPECT_EQ(query("select * from kyak order by rowid"),
            (std::vector<Row>{{"20211001", "c1", "s1", "h1", "f1", "b1", "b2", "b3", "b4"},
                              {"20211001", "c2", "s2", "h2", "f2", "b1", "b2", "b3", ""},
                              {"20211001", "c3", "s3", "h3", "f3", "b1", "b2", "b3", ""},
                              {"20211001", "c4", "s4", "h4", "f4", "b1", "b2", "b3", "b4"},
                              {"20211001", "c5", "s,5", " h5", "f5", "b1", "b2", "b3", "b4"}}));
  EXPECT_EQ(query("select distinct typeof(ymd) from kyak"), (std::vector<Row>{{"text"}}));
  ASSERT_EQ(converter.calls.size(), 1u);
  EXPECT_EQ(converter.calls[0].excel_file, path("ab20211001.xlsx"));
  EXPECT_EQ(converter.calls[0].out_file, environment.temp_csv_path);
  EXPECT_EQ(converter.calls[0].format, 62);
  EXPECT_FALSE(converter.calls[0].out_file_existed);  // the stale file went first
  EXPECT_FALSE(temp_exists());
}

TEST_F(EtcStep, ListDateCountsCharactersNotBytes) {
  import(utf8_of(path_of("資料") / path_of("日本20211101一覧.xlsx")), {"c,s,h,f,1,2,3,4"});
  EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{});
  EXPECT_EQ(query("select ymd from kyak"), (std::vector<Row>{{"20211101"}}));
}

TEST_F(EtcStep, ReplacesTheRowsOfItsDateOnly) {
  import("ab20211001.xlsx", {"old,s,h,f,1,2,3,4", "old,s,h,f,1,2,3,4"});
  import("ab20211101.xlsx", {"other,s,h,f,1,2,3,4"});
  import("xy20211001.xlsx", {"new,s,h,f,1,2,3,4"});
  EXPECT_EQ(query("select ymd, code from kyak order by ymd"),
            (std::vector<Row>{{"20211001", "new"}, {"20211101", "other"}}));
}

TEST_F(EtcStep, FourLinesOrFewerStillDeleteTheDateAndCommit) {
  for (const std::string& converted : {csv({}), std::string("only\r\nthree\r\nlines\r\n"), std::string()}) {
    import("ab20211101.xlsx", {"other,s,h,f,1,2,3,4"});
    import("ab20211001.xlsx", {"old,s,h,f,1,2,3,4"});
    converter.csv = converted;
    EXPECT_EQ(run(), RunOutcome::completed);
    EXPECT_EQ(query("select ymd, code from kyak"), (std::vector<Row>{{"20211101", "other"}}));
    EXPECT_FALSE(temp_exists());
  }
}

TEST_F(EtcStep, ListDateNotEightDigitsFailsAndKeepsEveryList) {
  struct Case {
    const char* name;  // of the workbook
    const char* date;  // its characters 3 to 10
  };
  for (const Case& c :
       {Case{"ab2021-10-01.xlsx", "2021-10-"}, Case{"ab1 or 1=1.xlsx", "1 or 1=1"},
        Case{"ab0' or ''='.xlsx", "0' or ''"}, Case{"ab2021.xlsx", "2021.xls"}, Case{"ab.xlsx", ".xlsx"},
        Case{"ab", ""}, Case{"ab２０２１１００１.xlsx", "２０２１１００１"}}) {
    exec(
        "delete from kyak;"
        "insert into kyak (ymd, code) values ('20211001', 'a'), ('20200101', 'b'), ('2021-10-', 'c');");
    leave_stale_temp();
    converter.calls.clear();

    EXPECT_EQ(import(c.name, {"new,s,h,f,1,2,3,4"}), RunOutcome::completed_with_errors) << c.name;

    EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{etc_error}) << c.name;
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].cause.find(std::string("\"") + c.date + "\", not eight digits"),
              std::string::npos)
        << host.failures[0].cause;
    EXPECT_EQ(query("select ymd, code from kyak order by code"),
              (std::vector<Row>{{"20211001", "a"}, {"20200101", "b"}, {"2021-10-", "c"}}))
        << c.name;
    EXPECT_TRUE(converter.calls.empty()) << c.name;
    EXPECT_FALSE(temp_exists()) << c.name;
    EXPECT_EQ(host.events.back(), completion);
  }
}

struct EtcFailure {
  const char* name;
  std::vector<std::string> data;          // after the four skipped lines
  std::optional<std::string> conversion;  // set: the conversion fails so
  bool has_converter;
  std::string cause;  // "{csv}" and "{xlsx}" stand for the paths
};

class EtcFailures : public EtcStep, public ::testing::WithParamInterface<EtcFailure> {};

TEST_P(EtcFailures, RollBackReportAndGoOnWithTheYStep) {
  const EtcFailure& c = GetParam();
  import("ab20211001.xlsx", {"old,s,h,f,1,2,3,4"});

  converter.csv = csv(c.data);
  converter.failure = c.conversion;
  if (!c.has_converter) environment.converter = nullptr;
  use(Source::y, file("y.csv", lines_of({joined(numbered_fields("y", 32), ',')})));

  EXPECT_EQ(run(), RunOutcome::completed_with_errors);

  EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{etc_error});
  ASSERT_EQ(host.failures.size(), 1u);
  std::string cause = c.cause;
  for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{csv}", environment.temp_csv_path},
                                    {"{xlsx}", path("ab20211001.xlsx")}}) {
    if (const std::size_t at = cause.find(mark); at != std::string::npos)
      cause.replace(at, mark.size(), value);
  }
  EXPECT_EQ(host.failures[0].cause, cause);
  EXPECT_EQ(query("select ymd, code from kyak"), (std::vector<Row>{{"20211001", "old"}}));
  EXPECT_FALSE(temp_exists());
  EXPECT_EQ(query("select count(*) from yak"), (std::vector<Row>{{"1"}}));
  EXPECT_EQ(host.events.back(), completion);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, EtcFailures,
    ::testing::Values(
        EtcFailure{"ConversionFails",
                   {"new,s,h,f,1,2,3,4"},
                   "Excel is not installed",
                   true,
                   "Excel is not installed"},
        EtcFailure{"NoConverter",
                   {"new,s,h,f,1,2,3,4"},
                   std::nullopt,
                   false,
                   "converting \"{xlsx}\": no workbook converter is available"},
        EtcFailure{"SixFields",
                   {"new,s,h,f,1,2,3,4", "bad,s,h,f,1,2"},
                   std::nullopt,
                   true,
                   "{csv}:6: line has 6 fields, field 6 is missing (converted from \"{xlsx}\")"},
        EtcFailure{"CellWithALineBreak",
                   {"new,s,h,f,1,\"two\r\nlines\",3,4"},
                   std::nullopt,
                   true,
                   "{csv}:5: line has 6 fields, field 6 is missing (converted from \"{xlsx}\")"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EtcStep, SwitchedOffTouchesNeitherExcelNorTheTemporaryFile) {
  for (const SourceInput& input : {SourceInput{false, path("ab20211001.xlsx")}, SourceInput{true, ""}}) {
    leave_stale_temp();
    only(Source::en, "");
    keys.sources[static_cast<std::size_t>(Source::etc)] = input;
    EXPECT_EQ(run(), RunOutcome::completed);
    EXPECT_TRUE(converter.calls.empty());
    EXPECT_TRUE(temp_exists());
  }
}

}  // namespace
}  // namespace efi::import::testing
