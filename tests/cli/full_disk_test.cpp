// efload on a disk without room, made without mounting anything: the child
// runs under a file-size limit (`ulimit -f`) with SIGXFSZ ignored, so a write
// past the limit fails with EFBIG as one past a full disk fails. Either the
// rollback journal or the database file meets the limit; the step fails with
// its message and the engine's cause, every row stays as it was, and the
// next run without the limit loads the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "efload_test_support.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace efi::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

#ifndef _WIN32
// Every file the processes started meanwhile write may grow to `bytes` and no
// further, and a write past that fails instead of killing the writer. A child
// inherits both the limit and the ignored signal across exec.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_limit_);
    rlimit limit = saved_limit_;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("test: cannot set a file-size limit");
    saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_limit_);
    std::signal(SIGXFSZ, saved_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_limit_{};
  void (*saved_handler_)(int) = SIG_DFL;
};

// An F file of `lines` records, 21 tab-separated ASCII fields each.
std::string f_file(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += "0123456789\t" + std::to_string(10000000 + i / 7) +
            "\t20211001\t20210920\t1\t1\t0\t611170508\t620000000\t21\tdrug\t1.5\ttab\t10\t\t\t1\t0\t\t\t\r\n";
  }
  return text;
}
#endif

struct FullDiskCase {
  const char* name;
  bool fills_journal;  // the journal meets the limit; else the database file
};

void PrintTo(const FullDiskCase& c, std::ostream* out) { *out << c.name; }

class EfloadFullDisk : public ::testing::TestWithParam<FullDiskCase> {};

TEST_P(EfloadFullDisk, FailsTheStepKeepsEveryRowAndLoadsWithRoomAgain) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has no per-process file-size limit; the engine's full-disk path is "
                  "tested in-process through a file-system layer (RunFullDisk)";
#else
  const FullDiskCase& c = GetParam();
  ScratchFolder folder{"efload-test"};
  const std::string database = folder.path("vorn.sqlite3");
  const std::string big = folder.path("FN_big.txt");
  ASSERT_TRUE(write_file(big, f_file(30000)));
  const std::string small = samples + "FN_202110.txt";
  ASSERT_EQ(run_efload({"init", "--db", database}, folder.folder()).exit_code, 0);
  auto load_fn = [&](const std::string& file) {
    return run_efload({"run", "--yymm", "202110", "--db", database, "--en", samples + "EN_202110.txt", "--fn",
                       file, "--y", samples + "y_20250813.csv"},
                      folder.folder());
  };
  // The journal case starts from the big file's rows: deleting them journals
  // their pages, a few megabytes, while the small file adds next to nothing.
  // The database case adds the big file's rows to a small database.
  const ProcessResult seeded = load_fn(c.fills_journal ? big : small);
  ASSERT_EQ(seeded.exit_code, 0) << seeded.out << seeded.err;
  const DatabaseContents before = database_contents(database);
  const std::uint64_t size = fs::file_size(database);

  ProcessResult result;
  {
    // Journal: far below the database's size, which only the commit would
    // write to; the delete's journal meets the limit first. Database: the
    // journal of a small key stays small, the new pages do not fit.
    FileSizeLimit limit(c.fills_journal ? 256 * 1024 : size + 64 * 1024);
    result = run_efload({"run", "--yymm", "202110", "--db", database, "--fn", c.fills_journal ? small : big},
                        folder.folder());
  }
  EXPECT_EQ(result.exit_code, 1) << result.out << result.err;
  // EFBIG is no "disk full" to the engine's Unix layer: it says "disk I/O error".
  EXPECT_THAT(result.out, HasSubstr(messages::fn_error + messages::cause + "disk I/O error\n"));
  EXPECT_THAT(result.out, HasSubstr(messages::completion));
  EXPECT_EQ(query_value(database, "pragma integrity_check"), "ok");
  EXPECT_EQ(database_contents(database), before);
  EXPECT_FALSE(fs::exists(database + "-journal"));

  const ProcessResult again = load_fn(c.fills_journal ? small : big);
  EXPECT_EQ(again.exit_code, 0) << again.out << again.err;
  EXPECT_EQ(query_value(database, "select count(*) from Fn where yymm = '202110'"),
            c.fills_journal ? "30" : "30000");
  EXPECT_EQ(query_value(database, "pragma integrity_check"), "ok");
#endif
}

INSTANTIATE_TEST_SUITE_P(Files, EfloadFullDisk,
                         ::testing::Values(FullDiskCase{"Journal", true}, FullDiskCase{"Database", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace efi::cli::testing
