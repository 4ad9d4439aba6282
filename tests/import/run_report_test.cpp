// What the run hands back: per step its outcome, key, rows and failure
// record; the host told of every step that ran as it ends; the failure
// records and their one formatter; a failure that cannot be described.
#include <gtest/gtest.h>

#include <new>

#include "import/failure.h"
#include "import/run.h"
#include "import/steps.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

std::string e_line(std::string_view prefix) { return joined(numbered_fields(prefix, 25), '\t'); }
std::string f_line(std::string_view prefix) { return joined(numbered_fields(prefix, 19), '\t'); }

// One step's report, reduced to what a test compares.
struct Seen {
  std::optional<Source> source;  // none: the derivation
  StepOutcome outcome;
  std::string key;     // key_text of its key
  std::uint64_t rows;  // rows_inserted
  std::string cause;   // failure_text of its failure; empty without one

  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << (s.source ? static_cast<int>(*s.source) : -1) << "/" << static_cast<int>(s.outcome) << "/"
             << s.key << "/" << s.rows << "/" << s.cause;
}

std::vector<Seen> seen(const std::vector<StepReport>& reports) {
  std::vector<Seen> out;
  for (const StepReport& r : reports) {
    out.push_back({r.step->source, r.outcome, key_text(r.key), r.rows_inserted,
                   r.failure ? failure_text(*r.failure) : std::string()});
  }
  return out;
}

class RunReportTest : public RunTest {};

TEST_F(RunReportTest, SaysWhatEveryStepDidUnderWhichKey) {
  exec("insert into Fn (yymm, yymmkbn, rdcode, shiyouryou) values ('202110', '0', 'R1', '2');");
  use(Source::en, file("en.txt", lines_of({e_line("a"), e_line("b")})));
  const std::string short_fn = file("fn.txt", lines_of({f_line("a"), "x\ty"}));
  use(Source::fn, short_fn);
  keys.sources[static_cast<std::size_t>(Source::eg)] = {false, path("eg.txt")};  // switched off
  use(Source::etc, path("ab20211001.xlsx"));
  converter.csv = lines_of({"h", "h", "h", "h", "1,2,3,4,5,6,7", "1,2,3,4,5,6,7,8"});
  use(Source::y, file("y.csv", "a,b,R1,d,e" + std::string(27, ',') + "\r\n"));

  EXPECT_EQ(run(), RunOutcome::completed_with_errors);

  const std::string year_month = "yymm 202110, yymmkbn 0";
  EXPECT_EQ(seen(report.steps), (std::vector<Seen>{
                                    {Source::en, StepOutcome::committed, year_month, 2, ""},
                                    {Source::fn, StepOutcome::failed, year_month, 1,
                                     short_fn + ":2: line has 2 fields, field 2 is missing"},
                                    {Source::eg, StepOutcome::skipped, "", 0, ""},
                                    {Source::fg, StepOutcome::skipped, "", 0, ""},
                                    {Source::etc, StepOutcome::committed, "ymd 20211001", 2, ""},
                                    {Source::y, StepOutcome::committed, "ymd 20250301", 1, ""},
                                    // the F row seeded before the run, in the newest Y list
                                    {std::nullopt, StepOutcome::committed, year_month, 1, ""},
                                }));
  const Failure& missing = *report.steps[1].failure;
  EXPECT_EQ(missing.kind, FailureKind::missing_field);
  EXPECT_EQ(missing.file, short_fn);
  EXPECT_EQ(missing.line, 2u);
  EXPECT_EQ(missing.field, 2u);
  EXPECT_EQ(missing.field_count, 2u);
  EXPECT_FALSE(missing.converted_from.has_value());

  // The host heard of each step that ran, as it ended, in run order.
  std::vector<Seen> finished = seen(host.finished);
  std::vector<Seen> ran;
  for (const Seen& s : seen(report.steps)) {
    if (s.outcome != StepOutcome::skipped) ran.push_back(s);
  }
  EXPECT_EQ(finished, ran);
  for (const StepReport& r : report.steps) {
    EXPECT_GE(r.wall_seconds, 0.0);
    if (r.outcome == StepOutcome::skipped) {
      EXPECT_EQ(r.wall_seconds, 0.0);
    }
  }
}

TEST_F(RunReportTest, AStoppedRunEndsItsReportAtTheStepThatStopped) {
  only(Source::en, file("en.txt", lines_of({e_line("a")})));
  use(Source::y, path("y|.csv"));

  EXPECT_EQ(run(), RunOutcome::stopped);

  ASSERT_EQ(report.steps.size(), 6u);  // the derivation was never reached
  EXPECT_EQ(report.steps[0].outcome, StepOutcome::committed);
  const StepReport& y = report.steps[5];
  EXPECT_EQ(y.outcome, StepOutcome::stopped);
  ASSERT_TRUE(y.failure.has_value());
  EXPECT_EQ(failure_text(*y.failure), "パスに無効な文字が含まれています");
  ASSERT_EQ(host.finished.size(), 2u);
  EXPECT_EQ(host.finished[1].outcome, StepOutcome::stopped);
}

TEST_F(RunReportTest, AConvertedFileNamesItsWorkbookInTheCause) {
  only(Source::etc, path("ab20211001.xlsx"));
  converter.csv = lines_of({"h", "h", "h", "h", "1,2,3,4,5,6"});

  EXPECT_EQ(run(), RunOutcome::completed_with_errors);

  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_EQ(host.failures[0].failure.converted_from, path("ab20211001.xlsx"));
  EXPECT_EQ(host.failures[0].cause, path("vornexport.csv") +
                                        ":5: line has 6 fields, field 6 is missing (converted from \"" +
                                        path("ab20211001.xlsx") + "\")");
}

// Describing a failure allocates; when that fails (memory gone after a huge
// line), the step must still have been rolled back, so the next step runs in
// a transaction of its own.
TEST_F(RunReportTest, RollsBackBeforeDescribingAFailureThatCannotBeDescribed) {
  only(Source::en, file("old.txt", lines_of({e_line("old")})));
  run();
  only(Source::en, file("bad.txt", lines_of({e_line("new"), "short"})));
  use(Source::fn, file("fn.txt", lines_of({f_line("fn")})));

  before_describing_failure = [] { throw std::bad_alloc(); };
  const RunOutcome outcome = run();
  before_describing_failure = nullptr;

  EXPECT_EQ(outcome, RunOutcome::completed_with_errors);
  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_EQ(host.failures[0].step_message, "ENファイル取り込みエラー");
  EXPECT_EQ(host.failures[0].failure.kind, FailureKind::undescribed);
  EXPECT_EQ(host.failures[0].cause, "the failure could not be described (the program ran out of memory)");
  EXPECT_EQ(report.steps[1].outcome, StepOutcome::committed);
  EXPECT_EQ(report.steps.back().outcome, StepOutcome::committed);
  EXPECT_EQ(query("select scode from En"), (std::vector<Row>{{"old0"}}));
  EXPECT_EQ(query("select scode from Fn"), (std::vector<Row>{{"fn0"}}));
}

TEST(FailureText, OneFormatterForEveryKind) {
  struct Case {
    Failure failure;
    std::string expected;
  };
  const Case cases[] = {
      {Failure::engine("no such table: En", 1), "no such table: En"},
      {Failure::open_file("/d/en.txt", "No such file or directory"),
       "cannot open file '/d/en.txt': No such file or directory"},
      {Failure::read_file("/d/en.txt", 3, "invalid UTF-8 at byte 17"),
       "cannot read file '/d/en.txt': invalid UTF-8 at byte 17"},
      {Failure::missing_field("/d/en.txt", 4, 24, 3, std::nullopt),
       "/d/en.txt:4: line has 3 fields, field 24 is missing"},
      {Failure::missing_field("/x/vornexport.csv", 5, 6, 6, "C:\\in\\tp.xlsx"),
       "/x/vornexport.csv:5: line has 6 fields, field 6 is missing (converted from \"C:\\in\\tp.xlsx\")"},
      {Failure::list_date("tp2021-10-01.xlsx", "2021-10-"),
       "taking the list date from \"tp2021-10-01.xlsx\": characters 3 to 10 are \"2021-10-\", not eight "
       "digits"},
      {Failure::conversion("reading workbook \"a.xlsx\": the file does not exist"),
       "reading workbook \"a.xlsx\": the file does not exist"},
      {Failure::other("taking today's date: the run has no clock"),
       "taking today's date: the run has no clock"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(failure_text(c.failure), c.expected);
    EXPECT_STREQ(FailureError(c.failure).what(), c.expected.c_str());
  }
}

TEST(KeyText, NamesEachValueOfTheKey) {
  EXPECT_EQ(key_text(StepKey{{{"yymm", std::string("202110")}, {"yymmkbn", std::int64_t{1}}}}),
            "yymm 202110, yymmkbn 1");
  EXPECT_EQ(key_text(StepKey{{{"ymd", std::string("20211001")}}}), "ymd 20211001");
  EXPECT_EQ(key_text(StepKey{}), "");
}

}  // namespace
}  // namespace efi::import::testing
