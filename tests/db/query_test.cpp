// Reading: the read-only connection (never creates, never writes, holds no
// lock once a read is done, fails at once on a file held exclusively) and
// queries (binding, stepping, column types, the column list of a table).
#include "db/query.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db_test_support.h"

namespace efi::db {
namespace {

using test::Raw;
using test::SchemaDb;
using test::ScratchFolder;

// The first column of every row of `sql` on `c`, as text.
std::vector<std::string> read_column(Connection& c, const std::string& sql) {
  Query q(c, sql);
  std::vector<std::string> out;
  while (q.step()) out.emplace_back(q.text(0));
  return out;
}

TEST(ReadOnlyConnection, MissingFileFailsAndIsNotCreated) {
  ScratchFolder dir{"efi-db"};
  const std::string path = dir.path("absent.sqlite3");
  Connection c(path, Access::read_only);
  try {
    c.open_if_closed();
    ADD_FAILURE() << "opening a missing file read-only succeeded";
  } catch (const Error& e) {
    EXPECT_EQ(e.extended_code() & 0xff, SQLITE_CANTOPEN) << e.what();
  }
  EXPECT_FALSE(c.is_open());
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(std::filesystem::is_empty(dir.folder()));
}

TEST(ReadOnlyConnection, RunsNoSettingsAndCannotWrite) {
  SchemaDb db;
  Connection c(db.path, Access::read_only);
  c.open_if_closed();
  EXPECT_EQ(read_column(c, "PRAGMA locking_mode"), std::vector<std::string>{"normal"});
  EXPECT_EQ(read_column(c, "PRAGMA busy_timeout"), std::vector<std::string>{"0"});
  EXPECT_EQ(read_column(c, "PRAGMA foreign_keys"), std::vector<std::string>{"0"});
  try {
    Query insert(c, "INSERT INTO yak VALUES ('20250813', '610406079', 'x', 'y')");
    insert.step();
    ADD_FAILURE() << "a read-only connection wrote";
  } catch (const Error& e) {
    EXPECT_EQ(e.extended_code() & 0xff, SQLITE_READONLY) << e.what();
  }
}

TEST(ReadOnlyConnection, ReadingLeavesTheFileAsItWasAndMakesNoJournal) {
  SchemaDb db;
  {
    Raw raw(db.path);
    raw.exec("INSERT INTO yak VALUES ('20250813', '610406079', 'ガスター散２％', '2325003B2029')");
  }
  const std::string before = test_support::read_file(db.path);
  const auto modified = std::filesystem::last_write_time(std::filesystem::u8path(db.path));
  {
    Connection c(db.path, Access::read_only);
    c.start_transaction();
    EXPECT_EQ(read_column(c, "SELECT yakcode FROM yak"), std::vector<std::string>{"2325003B2029"});
    EXPECT_FALSE(std::filesystem::exists(db.path + "-journal"));
    c.commit();
  }
  EXPECT_EQ(test_support::read_file(db.path), before);
  EXPECT_EQ(std::filesystem::last_write_time(std::filesystem::u8path(db.path)), modified);
  EXPECT_EQ(test_support::names_in(db.dir.folder()), std::vector<std::string>{"vorn.sqlite3"});
}

// Another connection's BEGIN EXCLUSIVE succeeds only when no one holds a lock.
bool another_can_write(const std::string& path) {
  Raw other(path);
  sqlite3_busy_timeout(other.handle(), 0);
  if (sqlite3_exec(other.handle(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  efi::test_support::execute_sql(other.handle(), "ROLLBACK");
  return true;
}

TEST(ReadOnlyConnection, HoldsNoLockOnceAReadIsDone) {
  SchemaDb db;
  Connection c(db.path, Access::read_only);
  c.open_if_closed();
  EXPECT_TRUE(another_can_write(db.path)) << "after opening";

  Query q(c, "SELECT count(*) FROM sqlite_schema");
  ASSERT_TRUE(q.step());
  EXPECT_FALSE(another_can_write(db.path)) << "a row is being read: the shared lock is held";
  EXPECT_FALSE(q.step());
  EXPECT_TRUE(another_can_write(db.path)) << "after the last row";

  c.start_transaction();
  ASSERT_TRUE(q.step());
  EXPECT_FALSE(q.step());
  EXPECT_FALSE(another_can_write(db.path)) << "inside a read transaction";
  c.commit();
  EXPECT_TRUE(another_can_write(db.path)) << "after the read transaction";
}

TEST(ReadOnlyConnection, FileHeldExclusivelyFailsTheOpeningAtOnce) {
  SchemaDb db;
  Raw holder(db.path);
  holder.exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;");
  Connection c(db.path, Access::read_only);
  try {
    c.open_if_closed();
    ADD_FAILURE() << "opened a file held exclusively";
  } catch (const Error& e) {
    EXPECT_EQ(e.extended_code() & 0xff, SQLITE_BUSY) << e.what();
    EXPECT_EQ(std::string(e.what()), "database is locked");
  }
  EXPECT_FALSE(c.is_open());
}

TEST(Query, BindsStepsAndReadsEachColumnType) {
  SchemaDb db;
  Connection c(db.path, Access::read_only);
  c.open_if_closed();
  Query q(c, "SELECT ?1, ?2, 1.5 * 7, NULL, x'00ff', ?3 || 'b'");
  q.bind(1, std::int64_t{-42});
  q.bind(2, "テキスト");
  q.bind(3, std::string_view());  // empty text, not NULL
  ASSERT_TRUE(q.step());
  ASSERT_EQ(q.column_count(), 6);
  EXPECT_EQ(q.column_type(0), ColumnType::integer);
  EXPECT_EQ(q.int64(0), -42);
  EXPECT_EQ(q.text(0), "-42");
  EXPECT_EQ(q.column_type(1), ColumnType::text);
  EXPECT_EQ(q.text(1), "テキスト");
  EXPECT_EQ(q.column_type(2), ColumnType::real);
  EXPECT_EQ(q.real(2), 10.5);
  EXPECT_TRUE(q.is_null(3));
  EXPECT_EQ(q.text(3), "");
  EXPECT_EQ(q.column_type(4), ColumnType::blob);
  EXPECT_EQ(q.text(5), "b");
  EXPECT_FALSE(q.step());

  // Bindings stay across the reset that ends a read; a new value replaces one.
  q.bind(1, std::int64_t{7});
  ASSERT_TRUE(q.step());
  EXPECT_EQ(q.int64(0), 7);
  EXPECT_EQ(q.text(1), "テキスト");
  q.reset();
  q.bind_null(1);
  ASSERT_TRUE(q.step());
  EXPECT_TRUE(q.is_null(0));
}

TEST(Query, ErrorsCarryTheEngineTextAndTheSql) {
  SchemaDb db;
  Connection c(db.path, Access::read_only);
  try {
    Query q(c, "SELECT 1");
    ADD_FAILURE() << "prepared on a closed connection";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "preparing a query: the database connection is not open");
  }
  c.open_if_closed();
  try {
    Query q(c, "SELECT code FROM nowhere");
    ADD_FAILURE() << "prepared a query on a missing table";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "no such table: nowhere");
    EXPECT_EQ(e.sql(), "SELECT code FROM nowhere");
  }
  Query q(c, "SELECT ?1");
  EXPECT_THROW(q.bind(2, std::int64_t{1}), Error);  // no such position
}

TEST(Query, ClosingTheConnectionFinalizesIt) {
  SchemaDb db;
  Connection c(db.path, Access::read_only);
  c.open_if_closed();
  Query q(c, "SELECT count(*) FROM sqlite_schema");
  ASSERT_TRUE(q.step());
  c.close();
  EXPECT_TRUE(another_can_write(db.path)) << "the read was given up with the connection";
  try {
    q.step();
    ADD_FAILURE() << "stepped a query of a closed connection";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "reading a query: the database connection was closed");
  }
}

TEST(TableColumns, ListsNamesInOrderAndNothingForAMissingTable) {
  SchemaDb db;
  {
    Raw raw(db.path);
    raw.exec("CREATE TABLE \"odd \"\"name\"\"\" (\"a\"\"b\" TEXT, c2 NUMERIC)");
    raw.exec("INSERT INTO \"odd \"\"name\"\"\" VALUES ('x', 3)");
  }
  Connection c(db.path, Access::read_only);
  c.open_if_closed();
  EXPECT_EQ(table_columns(c, "yak"), (std::vector<std::string>{"ymd", "yjcode", "name", "yakcode"}));
  EXPECT_EQ(table_columns(c, "YAK"), table_columns(c, "yak"));  // names match without regard to case
  EXPECT_TRUE(table_columns(c, "no_such_table").empty());

  const std::vector<std::string> odd = table_columns(c, "odd \"name\"");
  ASSERT_EQ(odd, (std::vector<std::string>{"a\"b", "c2"}));
  EXPECT_EQ(quoted_identifier(odd[0]), "\"a\"\"b\"");
  EXPECT_EQ(
      read_column(c, "SELECT " + quoted_identifier(odd[0]) + " FROM " + quoted_identifier("odd \"name\"")),
      std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace efi::db
