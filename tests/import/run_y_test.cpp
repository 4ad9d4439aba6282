// The Y list step: every line a row under the day's date, taken once per
// import, at least 32 comma-separated fields, and its failures.
#include <gtest/gtest.h>

#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

const std::string y_error = "step_error:Yファイル取り込みエラー";

// A line of 32 fields "<p>0" … "<p>31", with field 2 `yjcode`.
std::string y_line(std::string_view prefix, std::string yjcode = "") {
  auto fields = numbered_fields(prefix, 32);
  if (!yjcode.empty()) fields[2] = std::move(yjcode);
  return joined(fields, ',');
}

class YStep : public RunTest {
 protected:
  RunOutcome import(const std::vector<std::string>& lines) {
    only(Source::y, file("y.csv", lines_of(lines)));
    return run();
  }
};

TEST_F(YStep, StoresEveryLineUnderTheDay) {
  auto quoted = numbered_fields("q", 32);
  quoted[0] = "\"a,b\"";  // one field: the numbers after it do not shift
  EXPECT_EQ(import({y_line("title"), joined(quoted, ','), joined(numbered_fields("long", 40), ',')}),
            RunOutcome::completed);
  EXPECT_EQ(query("select ymd, yjcode, name, yakcode from yak order by rowid"),
            (std::vector<Row>{{"20250301", "title2", "title4", "title31"},
                              {"20250301", "q2", "q4", "q31"},
                              {"20250301", "long2", "long4", "long31"}}));
  EXPECT_EQ(query("select distinct typeof(ymd) from yak"), (std::vector<Row>{{"text"}}));
}

TEST_F(YStep, TakesTheDateOnceForTheWholeImport) {
  // A load that runs past midnight stays under one date.
  int calls = 0;
  environment.today_yyyymmdd = [&calls] { return ++calls == 1 ? "20250331" : "20250401"; };
  import({y_line("a"), y_line("b"), y_line("c")});
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(query("select ymd, count(*) from yak group by ymd"), (std::vector<Row>{{"20250331", "3"}}));
}

TEST_F(YStep, ReplacesTheDaysRowsAndKeepsOtherDays) {
  today = "20250301";
  import({y_line("old"), y_line("old")});
  today = "20250302";
  import({y_line("other")});
  today = "20250301";
  import({y_line("new")});
  EXPECT_EQ(query("select ymd, yjcode from yak order by ymd"),
            (std::vector<Row>{{"20250301", "new2"}, {"20250302", "other2"}}));
}

TEST_F(YStep, FailingFileKeepsTheDaysRowsAndTheDerivationStillRuns) {
  struct Case {
    const char* name;
    std::optional<std::string> bytes;  // none: no such file
    std::string cause_after_path;
  };
  const std::vector<Case> cases = {
      {"31 fields", lines_of({y_line("n"), joined(numbered_fields("n", 31), ',')}),
       ":2: line has 31 fields, field 31 is missing"},
      {"3 fields", lines_of({"a,b,c"}), ":1: line has 3 fields, field 4 is missing"},
      {"empty line", lines_of({y_line("n"), "", y_line("n")}), ":2: line has 0 fields, field 2 is missing"},
      {"blank last line", lines_of({y_line("n")}) + "\r\n", ":2: line has 0 fields, field 2 is missing"},
      {"missing file", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    import({y_line("old")});
    const std::string bad = c.bytes ? file("bad.csv", *c.bytes) : path("missing.csv");
    only(Source::y, bad);

    EXPECT_EQ(run(), RunOutcome::completed_with_errors) << c.name;

    EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{y_error}) << c.name;
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].cause.find(bad + c.cause_after_path), std::string::npos)
        << c.name << ": " << host.failures[0].cause;
    EXPECT_EQ(query("select ymd, yjcode from yak"), (std::vector<Row>{{"20250301", "old2"}})) << c.name;
    EXPECT_EQ(host.starting_with("status:入院、外来データ集計中").size(), 1u) << c.name;
  }
}

}  // namespace
}  // namespace efi::import::testing
