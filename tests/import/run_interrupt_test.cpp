// A request to stop (efload's Ctrl+C or SIGTERM), seen at the run's
// checkpoints: the step under way rolls back as on a failure, its temporary
// CSV goes, nothing after it runs, and no box is shown for it.
#include <gtest/gtest.h>

#include <filesystem>

#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

std::string e_line(std::string_view prefix) { return joined(numbered_fields(prefix, 25), '\t'); }
std::string f_line(std::string_view prefix) { return joined(numbered_fields(prefix, 19), '\t'); }
std::string y_line(std::string_view prefix) { return joined(numbered_fields(prefix, 32), ','); }

class RunInterrupt : public RunTest {
 protected:
  // The request arrives at the `call`-th time the run asks (1-based).
  void stop_at_call(int call) {
    environment.stop_requested = [this, call] { return ++asked >= call; };
  }

  // Rows of `table` for the run's key, as "scode" values.
  std::vector<Row> scodes(const std::string& table) {
    return query("select scode from " + table + " where yymm = '202110' order by scode");
  }

  int asked = 0;  // how often the run asked whether to stop
};

TEST_F(RunInterrupt, AnInterruptedLoadKeepsTheKeysOldRowsAndRunsNothingAfterIt) {
  only(Source::fn, file("old.txt", lines_of({f_line("old")})));
  run();
  std::vector<std::string> lines;
  for (int i = 0; i < 50; ++i) lines.push_back(f_line("new" + std::to_string(i)));
  only(Source::fn, file("new.txt", lines_of(lines)));
  use(Source::y, file("y.csv", lines_of({y_line("y")})));

  // Each of the checkpoints in turn: the entry of the step, its first row,
  // a row in the middle, its last row.
  for (int call : {1, 2, 26, 51}) {
    asked = 0;
    stop_at_call(call);
    EXPECT_EQ(run(), RunOutcome::interrupted) << call;

    EXPECT_EQ(scodes("Fn"), (std::vector<Row>{{"old0"}})) << call;
    EXPECT_EQ(query("select count(*) from yak"), (std::vector<Row>{{"0"}})) << call;
    ASSERT_EQ(report.steps.size(), 2u) << call;  // E inpatient skipped, F inpatient stopped
    EXPECT_EQ(report.steps[1].outcome, StepOutcome::stopped);
    ASSERT_TRUE(report.steps[1].failure.has_value());
    EXPECT_EQ(report.steps[1].failure->kind, FailureKind::interrupted);
    EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{});
    EXPECT_EQ(host.starting_with("general_error:"), std::vector<std::string>{});
    EXPECT_EQ(host.starting_with("completion:"), std::vector<std::string>{});
    ASSERT_EQ(host.finished.size(), 1u);
    EXPECT_EQ(host.finished[0].outcome, StepOutcome::stopped);
  }
  // Not interrupted, the same run loads the file and the Y list.
  environment.stop_requested = nullptr;
  EXPECT_EQ(run(), RunOutcome::completed);
  EXPECT_EQ(scodes("Fn").size(), 50u);
}

TEST_F(RunInterrupt, AnInterruptedDrugListLoadRemovesItsTemporaryFile) {
  only(Source::etc, path("ab20211001.xlsx"));
  converter.csv = lines_of({"h", "h", "h", "h", "1,2,3,4,5,6,7,8", "1,2,3,4,5,6,7,8"});
  int stale_removals = 0;
  environment.remove_stale_temp_files = [&] { ++stale_removals; };
  // 1: the step's entry, 2: the conversion's end, 3: the first row.
  for (int call : {2, 3}) {
    asked = 0;
    stale_removals = 0;
    converter.calls.clear();
    stop_at_call(call);
    EXPECT_EQ(run(), RunOutcome::interrupted) << call;
    EXPECT_EQ(converter.calls.size(), 1u) << call;
    EXPECT_EQ(stale_removals, 1) << call;
    EXPECT_FALSE(std::filesystem::exists(path_of(environment.temp_csv_path))) << call;
    EXPECT_EQ(query("select count(*) from kyak"), (std::vector<Row>{{"0"}})) << call;
  }
}

TEST_F(RunInterrupt, AnInterruptedDerivationKeepsTheDerivedRowsOfBefore) {
  // Enough F rows in the Y list that the insert-from-select runs long enough
  // for the engine to ask.
  std::vector<std::string> e_lines, f_lines, y_lines;
  for (int i = 0; i < 300; ++i) {
    std::vector<std::string> e = numbered_fields("e", 25), f = numbered_fields("f", 19);
    e[1] = f[1] = "patient" + std::to_string(i);
    f[8] = "R" + std::to_string(i % 20);
    e_lines.push_back(joined(e, '\t'));
    f_lines.push_back(joined(f, '\t'));
  }
  for (int i = 0; i < 20; ++i) {
    std::vector<std::string> y = numbered_fields("y", 32);
    y[2] = "R" + std::to_string(i);
    y_lines.push_back(joined(y, ','));
  }
  only(Source::en, file("en.txt", lines_of(e_lines)));
  use(Source::fn, file("fn.txt", lines_of(f_lines)));
  use(Source::y, file("y.csv", lines_of(y_lines)));
  ASSERT_EQ(run(), RunOutcome::completed);
  ASSERT_EQ(query("select count(*) from EFn"), (std::vector<Row>{{"300"}}));
  // A row the next derivation's delete removes, unless it is rolled back.
  exec("insert into EFn (yymm, yymmkbn, rdcode) values ('202110', '0', 'stale')");

  for (SourceInput& input : keys.sources) input = SourceInput{false, ""};
  stop_at_call(2);  // 1: the derivation's entry; then the engine's first asking
  EXPECT_EQ(run(), RunOutcome::interrupted);

  EXPECT_GE(asked, 3);  // the engine asked, and the frame after the roll-back
  EXPECT_EQ(query("select count(*) from EFn"), (std::vector<Row>{{"301"}}));
  ASSERT_EQ(report.steps.size(), 7u);
  EXPECT_EQ(report.steps[6].outcome, StepOutcome::stopped);
  // Asked again, without a stop, the derivation replaces them.
  environment.stop_requested = nullptr;
  EXPECT_EQ(run(), RunOutcome::completed);
  EXPECT_EQ(query("select count(*) from EFn"), (std::vector<Row>{{"300"}}));
}

// Deleting a large month's old rows is one statement that runs for seconds:
// the host is let answer its messages meanwhile, and a stop request cuts it
// short.
TEST_F(RunInterrupt, ALongDeleteLetsTheHostAnswerAndStops) {
  exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
      "INSERT INTO Fn (yymm, yymmkbn, scode) SELECT '202110', '0', 'old' || i FROM n");
  only(Source::fn, file("fn.txt", lines_of({f_line("new")})));

  EXPECT_EQ(run(), RunOutcome::completed);
  const std::vector<std::string> during = host.during("Fファイル(入院)\u3000\u3000");
  ASSERT_FALSE(during.empty());
  EXPECT_EQ(during[0], "repaint");
  EXPECT_EQ(during[1], "pump") << "no message was answered while the old rows were deleted";
  EXPECT_EQ(scodes("Fn"), (std::vector<Row>{{"new0"}}));

  exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
      "INSERT INTO Fn (yymm, yymmkbn, scode) SELECT '202110', '0', 'old' || i FROM n");
  stop_at_call(2);  // 1: the step's entry; 2: the engine's first asking during the delete
  EXPECT_EQ(run(), RunOutcome::interrupted);
  EXPECT_EQ(query("select count(*) from Fn"), (std::vector<Row>{{"20001"}}));
  EXPECT_EQ(host.starting_with("max:"), std::vector<std::string>{});  // no row was read
}

TEST_F(RunInterrupt, ARequestBetweenStepsRunsNoFurtherStep) {
  only(Source::en, file("en.txt", lines_of({e_line("a")})));
  use(Source::y, file("y.csv", lines_of({y_line("y")})));
  stop_at_call(3);  // 1: E's entry, 2: its one row, 3: the Y step's entry
  EXPECT_EQ(run(), RunOutcome::interrupted);
  EXPECT_EQ(scodes("En"), (std::vector<Row>{{"a0"}}));
  EXPECT_EQ(query("select count(*) from yak"), (std::vector<Row>{{"0"}}));
  ASSERT_EQ(report.steps.size(), 6u);
  EXPECT_EQ(report.steps[0].outcome, StepOutcome::committed);
  EXPECT_EQ(report.steps[5].outcome, StepOutcome::stopped);
}

}  // namespace
}  // namespace efi::import::testing
