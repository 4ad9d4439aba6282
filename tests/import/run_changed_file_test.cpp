// A source file that another program changes while its step reads it: the
// step fails with its message and a cause naming the file, its delete is
// rolled back so the key keeps its earlier rows, and the run goes on. The
// file is long enough to be read ahead over several batches, so the failure
// must also come out after the lines read before it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "file_changes.h"
#include "import/read_ahead.h"
#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

using Events = std::vector<std::string>;

std::string e_line(const std::string& prefix) { return joined(numbered_fields(prefix, 25), '\t'); }

constexpr int line_total = 3000;  // about three batches of the reader
constexpr int lines_kept_by_cut = 1500;

struct Changed {
  std::string path;            // the file the step read
  std::string bytes;           // as it was written
  std::size_t cut_offset = 0;  // where line lines_kept_by_cut + 1 starts
  const ScratchFolder* folder;
};

struct RunChangeCase {
  const char* name;
  std::function<bool(const Changed&)> change;
  std::function<std::string(const Changed&)> reason;  // in the brackets of the cause
  int lines_before_failure;  // lines stored before the failure came; -1: not fixed by the case
};

void PrintTo(const RunChangeCase& c, std::ostream* out) { *out << c.name; }

class RunChangedFile : public RunTest, public ::testing::WithParamInterface<RunChangeCase> {};

TEST_P(RunChangedFile, FailsTheStepAndKeepsTheKeysRows) {
  const RunChangeCase& c = GetParam();
  only(Source::en, file("old.txt", lines_of({e_line("old")})));
  run();
  ASSERT_EQ(host.starting_with("step_error:"), Events{});

  Changed changed{"", "", 0, &scratch_};
  std::vector<std::string> lines;
  for (int i = 0; i < line_total; ++i) {
    if (i == lines_kept_by_cut) changed.cut_offset = lines_of(lines).size();
    lines.push_back(e_line("new" + std::to_string(i) + "_"));
  }
  changed.bytes = lines_of(lines);
  ASSERT_GT(line_total, static_cast<int>(2 * ReadAhead::batch_lines));
  changed.path = file("en.txt", changed.bytes);
  only(Source::en, changed.path);
  bool is_changed = false;
  BetweenPasses seam([&](const std::string& path) {
    if (path == changed.path) is_changed = c.change(changed);
  });

  const RunOutcome outcome = run();

#ifdef _WIN32
  // Reading shares only reading: the change is refused and the file loads whole.
  EXPECT_FALSE(is_changed);
  EXPECT_EQ(outcome, RunOutcome::completed);
  EXPECT_EQ(host.failures.size(), 0u);
  EXPECT_EQ(query("select count(*) from En"), (std::vector<Row>{{std::to_string(line_total)}}));
#else
  ASSERT_TRUE(is_changed) << "the test could not change the file";
  EXPECT_EQ(outcome, RunOutcome::completed_with_errors);
  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_EQ(host.failures[0].step_message, "ENファイル取り込みエラー");
  EXPECT_EQ(host.failures[0].cause,
            changed.path + ": the file changed while it was read (" + c.reason(changed) + ")");
  // The step's delete and inserts are undone; the run went on to its end.
  EXPECT_EQ(query("select scode from En"), (std::vector<Row>{{"old0"}}));
  EXPECT_EQ(host.events.back(), "completion:データ取り込みが終了しました。|EFファイル取り込み");
  if (c.lines_before_failure >= 0) {
    const Events during = host.during("Eファイル(入院)\u3000\u3000");
    EXPECT_EQ(std::count(during.begin(), during.end(), "pump"), c.lines_before_failure);
    ASSERT_FALSE(during.empty());
    EXPECT_EQ(during.back(), "step_error:ENファイル取り込みエラー");
  }
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Changes, RunChangedFile,
    ::testing::Values(
        RunChangeCase{"Appended",
                      [](const Changed& f) { return change::append(f.path, e_line("late") + "\r\n"); },
                      [](const Changed& f) {
                        return "more than the " + std::to_string(f.bytes.size()) + " bytes read first";
                      },
                      -1},
        // Cut after a whole line: every line before the cut is stored, then
        // the failure comes, exactly as reading in place would meet it.
        RunChangeCase{"CutShort", [](const Changed& f) { return change::cut_to(f.path, f.cut_offset); },
                      [](const Changed& f) {
                        return std::to_string(f.bytes.size()) + " bytes read first, " +
                               std::to_string(f.cut_offset) + " the second time";
                      },
                      lines_kept_by_cut},
        RunChangeCase{
            "Replaced",
            [](const Changed& f) {
              return change::replace_with(f.path, f.folder->file("en.tmp", lines_of({e_line("other")})));
            },
            [](const Changed&) { return std::string("another file has taken its name"); }, line_total}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace efi::import::testing
