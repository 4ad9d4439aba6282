// Databases that cannot take a load, through efload: held by another process
// in exclusive mode, a read-only file, a folder where no journal can be made,
// a file that is not a database, a table missing or of another column count.
// Each case must end with the message and exit status that go with it, and
// every row the database held before must still be there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "efload_test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace efi::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// Each message as printed: a step's message with its cause line.
const std::string completion = messages::completion + "\n";
const std::string en_error = messages::en_error + messages::cause;
const std::string fn_error = messages::fn_error + messages::cause;
const std::string eg_error = messages::eg_error + messages::cause;
const std::string etc_error = messages::etc_error + messages::cause;
const std::string derivation_error = messages::derivation_error + messages::cause;

// Whatever a case's preparation keeps alive while efload runs.
using Holder = std::shared_ptr<void>;

// Thrown where the platform under the test ignores a permission it sets.
struct PermissionsNotEnforced {
  std::string what;
};

// Marks the file read-only. On Windows the attribute is all there is; Wine
// run as root keeps writing such a file, which the test then finds out.
void make_read_only(const fs::path& path) {
#ifdef _WIN32
  if (!SetFileAttributesW(path.wstring().c_str(), FILE_ATTRIBUTE_READONLY)) {
    throw std::runtime_error("marking " + path.string() + " read-only failed");
  }
  HANDLE probe = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    throw PermissionsNotEnforced{"the file system lets this user write a read-only file"};
  }
#else
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#endif
}

struct Setting {
  const fs::path& folder;
  const std::string& database;
};

struct DatabaseCase {
  std::string name;
  // Prepares the database (already loaded with the sample month) and returns
  // whatever must stay alive while efload runs.
  std::function<Holder(const Setting&)> prepare;
  std::vector<std::string> sources;  // efload's source options
  int exit_code;                     // 1 a step failed, 3 the run stopped
  std::vector<std::string> printed;  // parts of standard output, in this order
  std::vector<std::string> not_printed = {};
  bool posix_only = false;  // needs file permissions Wine does not enforce
  RunAs run_as = RunAs::caller;
};

void PrintTo(const DatabaseCase& c, std::ostream* out) { *out << c.name; }

const std::vector<std::string> en_and_fn = {"--en", samples + "EN_202110.txt", "--fn",
                                            samples + "FN_202110.txt"};

const std::vector<DatabaseCase> database_cases = {
    // The first step fails while opening; its roll-back opens again and fails
    // too, so the run stops with the engine's text and no step's message.
    {"held_exclusively_by_another_process",
     [](const Setting& s) { return std::make_shared<WindowLock>(s.database); },
     en_and_fn,
     3,
     {"database is locked.\n"},
     {"ENファイル", "FNファイル", "データ取り込みが終了しました", "table "}},
    {"not_a_database",
     [](const Setting& s) {
       EXPECT_TRUE(write_file(s.database, std::string(8192, 'x')));
       return Holder();
     },
     en_and_fn,
     3,
     {"file is not a database.\n"},
     {"ENファイル", "FNファイル", "データ取り込みが終了しました", "table "}},
    // Opened read-only by the engine: every write fails, each step with its
    // own message, and the run reaches the completion box.
    {"read_only_file",
     [](const Setting& s) {
       make_read_only(s.database);
       return Holder();
     },
     en_and_fn,
     1,
     {en_error, "readonly database", fn_error, derivation_error, completion},
     {"table "},
     false,
     RunAs::unprivileged},
    // The file may be written but no journal can be created beside it.
    {"folder_not_writable",
     [](const Setting& s) {
       fs::permissions(s.folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
       return Holder();
     },
     en_and_fn,
     1,
     {en_error, "readonly database", fn_error, completion},
     {"table En", "table Fn"},
     true,
     RunAs::unprivileged},
    // A missing table fails only the step that writes it.
    {"drug_list_table_missing",
     [](const Setting& s) {
       execute_sql(s.database, "DROP TABLE kyak");
       return Holder();
     },
     {"--en", samples + "EN_202110.txt", "--etc", samples + "tp20211101-01_05.xlsx"},
     1,
     {etc_error, "no such table: kyak", completion, "table En: 18 rows", "table EFn: "},
     {derivation_error, "table kyak:"}},
    {"table_of_another_column_count",
     [](const Setting& s) {
       execute_sql(s.database, "ALTER TABLE Eg ADD COLUMN extra TEXT");
       return Holder();
     },
     {"--en", samples + "EN_202110.txt", "--eg", samples + "EG_202110.txt"},
     1,
     {eg_error, "table Eg has 28 columns but 27 values were supplied", completion, "table En: 18 rows",
      "table EFn: "},
     {derivation_error, "table Eg:"}},
};

class DatabaseFailures : public ::testing::TestWithParam<DatabaseCase> {};

TEST_P(DatabaseFailures, EndWithTheirMessageAndKeepEveryRow) {
  const DatabaseCase& c = GetParam();
#ifdef _WIN32
  if (c.posix_only) {
    GTEST_SKIP() << "a folder is made unwritable on Windows by its access list, which Wine "
                    "does not enforce";
  }
#endif
  ScratchFolder root{"efload-test"};
  // The database in a folder of its own, readable by the user a case runs as.
  const fs::path folder = root.folder() / "db";
  fs::create_directory(folder);
  fs::permissions(root.folder(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  const std::string database = (folder / "vorn.sqlite3").string();
  ASSERT_EQ(run_efload({"init", "--db", database}, folder).exit_code, 0);
  const ProcessResult load =
      run_efload({"run", "--yymm", "202110", "--db", database, "--en", samples + "EN_202110.txt", "--fn",
                  samples + "FN_202110.txt", "--y", samples + "y_20250813.csv"},
                 folder);
  ASSERT_EQ(load.exit_code, 0) << load.out;
  fs::permissions(database, fs::perms::others_read | fs::perms::others_write, fs::perm_options::add);
  const DatabaseContents before = database_contents(database);
  ASSERT_EQ(before.at("En").size(), 18u);

  ProcessResult result;
  std::string bytes_before = read_file(database);
  {
    // a holder writes nothing, and the file may not be read while it holds it
    Holder held;
    try {
      held = c.prepare(Setting{folder, database});
    } catch (const PermissionsNotEnforced& skip) {
      GTEST_SKIP() << skip.what;
    }
    if (!held) bytes_before = read_file(database);
    std::vector<std::string> arguments = {"run", "--yymm", "202110", "--db", database};
    arguments.insert(arguments.end(), c.sources.begin(), c.sources.end());
    result = run_efload(arguments, folder, c.run_as);
  }
  // writable again, so the temporary folder can be removed
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
  fs::permissions(database, fs::perms::owner_write, fs::perm_options::add);
  if (c.exit_code == 3) {
    EXPECT_TRUE(read_file(database) == bytes_before) << "the stopped run changed the file";
  }

  EXPECT_EQ(result.exit_code, c.exit_code) << result.out << result.err;
  std::size_t at = 0;
  for (const std::string& part : c.printed) {
    const std::size_t found = result.out.find(part, at);
    EXPECT_NE(found, std::string::npos) << "\"" << part << "\" missing or out of order in:\n" << result.out;
    if (found != std::string::npos) at = found + part.size();
  }
  for (const std::string& part : c.not_printed) EXPECT_THAT(result.out, Not(HasSubstr(part)));

  if (c.name == "not_a_database") return;  // nothing left to read rows from
  const DatabaseContents after = database_contents(database);
  for (const auto& [table, rows] : before) {
    if (table == "kyak" && c.name == "drug_list_table_missing") continue;
    // A failed step keeps its rows; En is reloaded from the same file.
    EXPECT_EQ(after.count(table) ? after.at(table) : std::vector<std::string>{}, rows)
        << "table " << table << " changed";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DatabaseFailures, ::testing::ValuesIn(database_cases),
                         [](const ::testing::TestParamInfo<DatabaseCase>& info) { return info.param.name; });

}  // namespace
}  // namespace efi::cli::testing
