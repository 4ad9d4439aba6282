// A disk that fills up during a load: whether the rollback journal or the
// database file meets the end of the space, the step fails with its message
// and the engine's cause, the database stays whole with the key's earlier
// rows, and once there is room again the next run on the same connection
// (as the window keeps it) loads the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "import/run.h"
#include "run_fixture.h"
#include "size_limited_vfs.h"

namespace efi::import::testing {
namespace {

using Kind = SizeLimitedVfs::Kind;

std::string e_line(const std::string& prefix) { return joined(numbered_fields(prefix, 25), '\t'); }

std::string e_file(const std::string& prefix, int lines) {
  std::vector<std::string> all;
  for (int i = 0; i < lines; ++i) all.push_back(e_line(prefix + std::to_string(i) + "_"));
  return lines_of(all);
}

struct FullDiskCase {
  const char* name;
  int old_lines;  // the key's rows before the load
  int new_lines;  // the rows of the file the load reads
  Kind full;      // the file that meets the end of the space
};

void PrintTo(const FullDiskCase& c, std::ostream* out) { *out << c.name; }

class RunFullDisk : public RunTest, public ::testing::WithParamInterface<FullDiskCase> {
 protected:
  std::uint64_t database_size() const { return std::filesystem::file_size(path_of(database)); }
};

TEST_P(RunFullDisk, FailsTheStepKeepsTheRowsAndLoadsOnceThereIsRoom) {
  const FullDiskCase& c = GetParam();
  SizeLimitedVfs disk;
  only(Source::en, file("old.txt", e_file("old", c.old_lines)));
  ASSERT_EQ(run(), RunOutcome::completed);
  const std::vector<Row> old_rows = query("select * from En order by rowid");
  ASSERT_EQ(old_rows.size(), static_cast<std::size_t>(c.old_lines));

  if (c.full == Kind::journal) {
    // Deleting the key's many rows journals their pages first: room for a
    // few pages only, while the database file may grow as it likes.
    disk.limit(Kind::journal, 16 * 1024);
  } else {
    // The journal gets what it needs; the new rows need more pages than the
    // file may add. They reach the file at the commit, whose failure the
    // engine undoes from the journal.
    disk.limit(Kind::database, database_size() + 16 * 1024);
  }
  only(Source::en, file("new.txt", e_file("new", c.new_lines)));
  auto expect_full_disk_failure = [&] {
    EXPECT_EQ(run(), RunOutcome::completed_with_errors);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].step_message, "ENファイル取り込みエラー");
    EXPECT_EQ(host.failures[0].cause, "database or disk is full");
  };

  expect_full_disk_failure();
  EXPECT_GT(disk.refusals(c.full), 0);
  EXPECT_EQ(disk.refusals(c.full == Kind::journal ? Kind::database : Kind::journal), 0);
  // Seen by a connection of its own: what the file holds now.
  EXPECT_EQ(query("pragma integrity_check"), (std::vector<Row>{{"ok"}}));
  EXPECT_EQ(query("select * from En order by rowid"), old_rows);

  // Again, and then with room again on the connection that met the full
  // disk, as the window keeps its connection from run to run.
  expect_full_disk_failure();
  disk.limit(c.full, std::nullopt);
  EXPECT_EQ(run(), RunOutcome::completed);
  EXPECT_EQ(host.failures.size(), 0u);
  EXPECT_EQ(query("pragma integrity_check"), (std::vector<Row>{{"ok"}}));
  EXPECT_EQ(query("select count(*), min(scode) from En"),
            (std::vector<Row>{{std::to_string(c.new_lines), "new0_0"}}));
}

INSTANTIATE_TEST_SUITE_P(Files, RunFullDisk,
                         ::testing::Values(FullDiskCase{"Journal", 2000, 10, Kind::journal},
                                           FullDiskCase{"Database", 10, 3000, Kind::database}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace efi::import::testing
