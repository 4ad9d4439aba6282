// A field longer than the engine takes fails its step with the step's
// message and the engine's "too big" cause; the key keeps its rows, and no
// field is ever stored cut short. The limit is lowered on the run's own
// connection, so no test needs gigabytes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

constexpr int lowered_limit = 20000;  // bytes of one value, and of one row

// An E line whose field 5 (dscode) is `dscode`.
std::string e_line_with(const std::string& dscode) {
  std::vector<std::string> fields = numbered_fields("f", 25);
  fields[1] = dscode;
  return joined(fields, '\t');
}

class RunFieldLength : public RunTest {
 protected:
  // Opens the run's connection and lowers its limit (a limit lasts as long
  // as the connection it was set on).
  void lower_limit() {
    connection->start_transaction();
    connection->commit();
    sqlite3_limit(connection->handle(), SQLITE_LIMIT_LENGTH, lowered_limit);
  }
};

TEST_F(RunFieldLength, AFieldAboveTheLimitFailsTheStepWithTheEnginesCause) {
  only(Source::en, file("old.txt", lines_of({e_line_with("old")})));
  run();
  const std::vector<Row> old_rows = query("select dscode from En");
  ASSERT_EQ(old_rows, (std::vector<Row>{{"old"}}));

  const std::string fits(lowered_limit / 2, 'a');
  const std::string too_long(lowered_limit + 1, 'b');
  only(Source::en, file("en.txt", lines_of({e_line_with(fits), e_line_with(too_long), e_line_with("c")})));
  lower_limit();

  EXPECT_EQ(run(), RunOutcome::completed_with_errors);

  ASSERT_EQ(host.failures.size(), 1u);
  EXPECT_EQ(host.failures[0].step_message, "ENファイル取り込みエラー");
  EXPECT_EQ(host.failures[0].cause, "string or blob too big");
  // Two lines were read before the failure; nothing of them stays.
  EXPECT_EQ(host.during("Eファイル(入院)\u3000\u3000").back(), "step_error:ENファイル取り込みエラー");
  EXPECT_EQ(query("select dscode from En"), old_rows);

  // Under the limit the same long field is stored whole.
  only(Source::en, file("fits.txt", lines_of({e_line_with(fits)})));
  lower_limit();
  EXPECT_EQ(run(), RunOutcome::completed);
  EXPECT_EQ(query("select length(dscode), dscode = '" + fits + "' from En"),
            (std::vector<Row>{{std::to_string(fits.size()), "1"}}));
}

}  // namespace
}  // namespace efi::import::testing
