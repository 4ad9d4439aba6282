// The run and the frame every step shares: order, status texts, progress,
// messages, roll-back of a failed step, and the failures that stop the run.
#include <gtest/gtest.h>

#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

using Events = std::vector<std::string>;

const std::string status_en = "status:Eファイル(入院)\u3000\u3000";
const std::string status_fn = "status:Fファイル(入院)\u3000\u3000";
const std::string status_eg = "status:Eファイル(外来)\u3000\u3000";
const std::string status_fg = "status:Fファイル(外来)\u3000\u3000";
const std::string status_etc = "status:ETCファイル(厚労省)  ";
const std::string status_y = "status:Yファイル";
const std::string status_derivation = "status:入院、外来データ集計中";
const std::string completion = "completion:データ取り込みが終了しました。|EFファイル取り込み";
const std::string path_error = "general_error:パスに無効な文字が含まれています.";

std::string e_line(std::string_view prefix) { return joined(numbered_fields(prefix, 25), '\t'); }
std::string f_line(std::string_view prefix) { return joined(numbered_fields(prefix, 19), '\t'); }
std::string y_line(std::string_view prefix) { return joined(numbered_fields(prefix, 32), ','); }

class RunFrame : public RunTest {};

TEST_F(RunFrame, RunsEveryStepInOrderAndEndsWithTheCompletionBox) {
  use(Source::en, file("en.txt", lines_of({e_line("en")})));
  use(Source::fn, file("fn.txt", lines_of({f_line("fn")})));
  use(Source::eg, file("eg.txt", lines_of({e_line("eg")})));
  use(Source::fg, file("fg.txt", lines_of({f_line("fg")})));
  use(Source::etc, path("ab20211001.xlsx"));
  converter.csv = lines_of({"h1", "h2", "h3", "h4", "a,b,c,d,e,f,g,h"});
  use(Source::y, file("y.csv", lines_of({y_line("y")})));

  EXPECT_EQ(run(), RunOutcome::completed);

  EXPECT_EQ(host.starting_with("status:"), (Events{status_en, status_fn, status_eg, status_fg, status_etc,
                                                   status_y, status_derivation, "status:"}));
  EXPECT_EQ(host.starting_with("step_error:"), Events{});
  EXPECT_EQ(host.events.back(), completion);
  // One row per source table; the F items are not in the Y list, so the
  // derivation finds nothing.
  for (const char* table : {"En", "Fn", "Eg", "Fg", "kyak", "yak"}) {
    EXPECT_EQ(query(std::string("select count(*) from ") + table), (std::vector<Row>{{"1"}})) << table;
  }
  EXPECT_EQ(query("select count(*) from EFn"), (std::vector<Row>{{"0"}}));
}

TEST_F(RunFrame, CallsTheHostInTheFrameOrder) {
  // One E line, two Y lines, the rest switched off: every call of the run.
  use(Source::en, file("en.txt", lines_of({e_line("a")})));
  use(Source::y, file("y.csv", lines_of({y_line("a"), y_line("b")})));
  keys.sources[static_cast<std::size_t>(Source::fn)] = {false, path("fn.txt")};

  EXPECT_EQ(run(), RunOutcome::completed);

  EXPECT_EQ(host.events,
            (Events{status_en, "repaint",         "max:0",   "pos:1", "pump",    "pos:0",  // E inpatient
                    "pos:0",   "pos:0",           "pos:0",   "pos:0",  // F, E, F, ETC skipped
                    status_y,  "repaint",         "max:2",   "pos:1", "pump",    "max:2",   "pos:2",
                    "pump",    status_derivation, "repaint", "pump",  "status:", completion}));
}

struct ProgressCase {
  const char* name;
  Source source;
  std::vector<std::string> lines;  // of the file, or of the converted CSV
  Events expected;                 // after the status text, before the next step
};

class RunProgress : public RunTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(RunProgress, SetsMaximumThenPositionPerLine) {
  const ProgressCase& c = GetParam();
  std::string status;
  switch (c.source) {
    case Source::en:
      only(Source::en, file("en.txt", lines_of(c.lines)));
      status = status_en;
      break;
    case Source::etc:
      converter.csv = lines_of(c.lines);
      only(Source::etc, path("ab20211001.xlsx"));
      status = status_etc;
      break;
    default:
      only(Source::y, file("y.csv", lines_of(c.lines)));
      status = status_y;
      break;
  }
  run();
  EXPECT_EQ(host.during(status.substr(std::string("status:").size())), c.expected);
  EXPECT_EQ(host.starting_with("step_error:"), Events{});
}

const std::string e1 = e_line("a");
const std::string etc8 = "1,2,3,4,5,6,7,8";
const std::string y32 = y_line("y");

INSTANTIATE_TEST_SUITE_P(
    Lines, RunProgress,
    ::testing::Values(ProgressCase{"EZeroLines", Source::en, {}, {"repaint"}},
                      ProgressCase{"EOneLine", Source::en, {e1}, {"repaint", "max:0", "pos:1", "pump"}},
                      ProgressCase{"EThreeLines",
                                   Source::en,
                                   {e1, e1, e1},
                                   {"repaint", "max:2", "pos:1", "pump", "max:2", "pos:2", "pump", "max:2",
                                    "pos:3", "pump"}},
                      ProgressCase{"EtcFourLinesOnly", Source::etc, {"h", "h", "h", "h"}, {"repaint"}},
                      ProgressCase{"EtcSixLines",
                                   Source::etc,
                                   {"h", "h", "h", "h", etc8, etc8},
                                   {"repaint", "max:6", "pos:5", "pump", "max:6", "pos:6", "pump"}},
                      ProgressCase{"YTwoLines",
                                   Source::y,
                                   {y32, y32},
                                   {"repaint", "max:2", "pos:1", "pump", "max:2", "pos:2", "pump"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunFrame, ZeroLineFileEmptiesTheKeyAndCommits) {
  only(Source::en, file("old.txt", lines_of({e_line("old"), e_line("old")})));
  run();
  keys.yymmkbn = 1;
  run();  // the same file under pattern 2 stays
  keys.yymmkbn = 0;
  only(Source::en, file("empty.txt", ""));

  EXPECT_EQ(run(), RunOutcome::completed);

  EXPECT_EQ(query("select yymmkbn, count(*) from En group by yymmkbn"), (std::vector<Row>{{"1", "2"}}));
}

struct FailureCase {
  const char* name;
  std::optional<std::string> bytes;  // the E file; none: no such file
  std::string cause_after_path;      // what the cause says after the file's path
};

class RunStepFailure : public RunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunStepFailure, RollsBackReportsAndGoesOn) {
  const FailureCase& c = GetParam();
  only(Source::en, file("old.txt", lines_of({e_line("old")})));
  run();

  const std::string bad = c.bytes ? file("bad.txt", *c.bytes) : path("missing.txt");
  only(Source::en, bad);
  use(Source::fn, file("fn.txt", lines_of({f_line("fn")})));

  EXPECT_EQ(run(), RunOutcome::completed_with_errors);

  EXPECT_EQ(host.starting_with("step_error:"), Events{"step_error:ENファイル取り込みエラー"});
  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_NE(host.failures[0].cause.find(bad), std::string::npos) << host.failures[0].cause;
  EXPECT_NE(host.failures[0].cause.find(c.cause_after_path), std::string::npos) << host.failures[0].cause;
  // The key keeps the rows of the earlier run, later steps still ran.
  EXPECT_EQ(query("select scode, kaisu from En"), (std::vector<Row>{{"old0", "old14"}}));
  EXPECT_EQ(query("select scode from Fn"), (std::vector<Row>{{"fn0"}}));
  EXPECT_EQ(host.starting_with("status:"), (Events{status_en, status_fn, status_derivation, "status:"}));
  EXPECT_EQ(host.events.back(), completion);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, RunStepFailure,
    ::testing::Values(FailureCase{"ShortLine",
                                  lines_of({e_line("n"), joined(numbered_fields("n", 24), '\t')}),
                                  ":2: line has 24 fields, field 24 is missing"},
                      FailureCase{"EmptyMiddleLine", lines_of({e_line("n"), "", e_line("n")}),
                                  ":2: line has 0 fields, field 0 is missing"},
                      FailureCase{"EmptyLastLine", lines_of({e_line("n")}) + "\r\n",
                                  ":2: line has 0 fields, field 0 is missing"},
                      FailureCase{"HeaderTooShort", lines_of({"scode\tdscode", e_line("n")}),
                                  ":1: line has 2 fields, field 2 is missing"},
                      FailureCase{"MissingFile", std::nullopt, ""},
                      FailureCase{"BadUtf8",
                                  "\xEF\xBB\xBF"
                                  "a\t\xFF\r\n",
                                  ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunFrame, DerivationRunsWhenEveryStepIsSkipped) {
  exec(
      "insert into Fn (yymm, yymmkbn, rdcode, shiyouryou) values ('202110', '0', 'R1', '2');"
      "insert into yak values ('20250101', 'R1', 'n', 'k');"
      "insert into EFn (yymm, yymmkbn, rdcode) values ('202110', '0', 'stale'), ('202110', '1', 'kept');");
  // Switched off with a file name, or switched on without one.
  for (SourceInput& input : keys.sources) input = SourceInput{false, path("any.txt")};
  keys.sources[static_cast<std::size_t>(Source::y)] = SourceInput{true, ""};

  EXPECT_EQ(run(), RunOutcome::completed);

  EXPECT_EQ(host.events, (Events{"pos:0", "pos:0", "pos:0", "pos:0", "pos:0", status_derivation, "repaint",
                                 "pump", "status:", completion}));
  EXPECT_EQ(query("select yymmkbn, rdcode from EFn order by yymmkbn"),
            (std::vector<Row>{{"0", "R1"}, {"1", "kept"}}));
}

struct StopCase {
  const char* name;
  Source source;
  const char* file_name;  // holds a character no path may hold
  Events statuses;        // shown before the run stopped
};

class RunPathCheck : public RunTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(RunPathCheck, StopsTheRunWithTheGeneralError) {
  const StopCase& c = GetParam();
  only(Source::en, file("en.txt", lines_of({e_line("en")})));
  use(Source::etc, path("ab20211001.xlsx"));
  converter.csv = lines_of({"h", "h", "h", "h", etc8});
  use(Source::y, file("y.csv", lines_of({y32})));
  use(c.source, path(c.file_name));

  EXPECT_EQ(run(), RunOutcome::stopped);

  EXPECT_EQ(host.events.back(), path_error);
  EXPECT_EQ(host.starting_with("general_error:").size(), 1u);
  EXPECT_EQ(host.starting_with("status:"), c.statuses);
  EXPECT_EQ(host.starting_with("step_error:"), Events{});
  EXPECT_EQ(host.starting_with("completion:"), Events{});
  if (c.source == Source::etc) {
    EXPECT_TRUE(converter.calls.empty());
  }
  // What came before stays committed; nothing after ran.
  EXPECT_EQ(query("select count(*) from En"), (std::vector<Row>{{"1"}}));
  EXPECT_EQ(query("select count(*) from yak"), (std::vector<Row>{{"0"}}));
  EXPECT_EQ(query("select count(*) from EFn"), (std::vector<Row>{{"0"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RunPathCheck,
    ::testing::Values(StopCase{"EtcBar", Source::etc, "ab20211001|.xlsx", {status_en, status_etc}},
                      StopCase{"EtcLess", Source::etc, "ab<20211001.xlsx", {status_en, status_etc}},
                      StopCase{"YBar", Source::y, "y|.csv", {status_en, status_etc, status_y}},
                      StopCase{"YLess", Source::y, "<y.csv", {status_en, status_etc, status_y}},
                      StopCase{"YQuote", Source::y, "y\".csv", {status_en, status_etc, status_y}},
                      StopCase{"YControl", Source::y, "y\t.csv", {status_en, status_etc, status_y}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunFrame, UnopenableDatabaseStopsTheRunWithTheEngineText) {
  connection->set_database(path("no such folder/vorn.sqlite3"));
  struct Case {
    bool has_e_file;
    Events expected;
  };
  const std::string engine = "general_error:unable to open database file.";
  for (const Case& c : {Case{true, {status_en, "repaint", engine}},
                        // The derivation starts its transaction before its status.
                        Case{false, {"pos:0", "pos:0", "pos:0", "pos:0", "pos:0", engine}}}) {
    only(Source::en, c.has_e_file ? file("en.txt", lines_of({e_line("a")})) : "");
    EXPECT_EQ(run(), RunOutcome::stopped);
    EXPECT_EQ(host.events, c.expected);
  }
}

TEST(GeneralErrorText, AppendsAFullStopAfterCharactersAboveIt) {
  struct Case {
    const char* text;
    const char* expected;
  };
  for (const Case& c :
       {Case{"unable to open database file", "unable to open database file."},
        Case{"ends with a stop.", "ends with a stop."}, Case{"bang!", "bang!"},  // '!' sorts below '.'
        Case{"dash-", "dash-"},                                                  // so does '-'
        Case{"slash/", "slash/."},                                               // '/' sorts above
        Case{"9", "9."}, Case{"", ""},
        Case{"パスに無効な文字が含まれています", "パスに無効な文字が含まれています."},
        Case{"終了。", "終了。."}}) {
    EXPECT_EQ(general_error_text(c.text), c.expected) << c.text;
  }
}

}  // namespace
}  // namespace efi::import::testing
