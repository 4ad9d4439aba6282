#include "db/connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/statement.h"
#include "db_test_support.h"

namespace efi::db {
namespace {

using test::column;
using test::Raw;
using test::SchemaDb;
using test::ScratchFolder;

// Records the text of every statement the engine starts on a handle.
struct StatementLog {
  std::vector<std::string> texts;  // in order of execution
  void attach(sqlite3* db) { sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &StatementLog::on_statement, this); }
  static int on_statement(unsigned, void* self, void* stmt, void*) {
    static_cast<StatementLog*>(self)->texts.push_back(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt)));
    return 0;
  }
};

// Expects `fn` to throw Error with exactly `text`.
template <typename F>
void expect_error(F&& fn, const std::string& text) {
  try {
    fn();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const Error& e) {
    EXPECT_EQ(e.what(), text);
  }
}

TEST(Connection, OpensOnFirstStartWithTheSettings) {
  ScratchFolder dir{"efi-db"};
  const std::string path = dir.path("vorn.sqlite3");
  Connection c(path);
  EXPECT_FALSE(c.is_open());
  EXPECT_FALSE(std::filesystem::exists(path)) << "constructing must not touch the file";

  c.start_transaction();
  ASSERT_TRUE(c.is_open());
  EXPECT_TRUE(std::filesystem::exists(path)) << "a missing file is created";
  EXPECT_TRUE(c.in_transaction());
  EXPECT_EQ(column(c.handle(), "PRAGMA cache_size"), std::vector<std::string>{"10000"});
  EXPECT_EQ(column(c.handle(), "PRAGMA locking_mode"), std::vector<std::string>{"exclusive"});
  EXPECT_EQ(column(c.handle(), "PRAGMA synchronous"), std::vector<std::string>{"0"});
  EXPECT_EQ(column(c.handle(), "PRAGMA journal_mode"), std::vector<std::string>{"delete"});
  EXPECT_EQ(column(c.handle(), "PRAGMA foreign_keys"), std::vector<std::string>{"1"});
  EXPECT_EQ(column(c.handle(), "PRAGMA busy_timeout"), std::vector<std::string>{"0"});
  EXPECT_EQ(column(c.handle(), "PRAGMA encoding"), std::vector<std::string>{"UTF-8"});
  c.commit();
  EXPECT_FALSE(c.in_transaction());
}

TEST(Connection, TransactionsAreNumberedPerOpening) {
  SchemaDb db;
  Connection c(db.path);
  c.commit();  // opens, nothing to commit
  ASSERT_TRUE(c.is_open());
  StatementLog log;
  log.attach(c.handle());

  c.rollback();  // nothing active: no statement
  c.start_transaction();
  c.commit();
  c.commit();  // nothing active any more
  c.start_transaction();
  c.rollback();
  c.rollback();
  c.start_transaction();
  c.commit();
  EXPECT_EQ(c.transaction_number(), 3);
  EXPECT_EQ(log.texts,
            (std::vector<std::string>{"BEGIN DEFERRED TRANSACTION t_1", "COMMIT TRANSACTION t_1",
                                      "BEGIN DEFERRED TRANSACTION t_2", "ROLLBACK TRANSACTION t_2",
                                      "BEGIN DEFERRED TRANSACTION t_3", "COMMIT TRANSACTION t_3"}));

  // Opened again, the count starts again from 1.
  const auto first_generation = c.generation();
  c.close();
  EXPECT_FALSE(c.is_open());
  c.rollback();  // opens again
  EXPECT_GT(c.generation(), first_generation);
  StatementLog again;
  again.attach(c.handle());
  c.start_transaction();
  c.commit();
  EXPECT_EQ(again.texts,
            (std::vector<std::string>{"BEGIN DEFERRED TRANSACTION t_1", "COMMIT TRANSACTION t_1"}));
}

TEST(Connection, WorkIsKeptOnCommitAndUndoneOnRollback) {
  SchemaDb db;
  Connection c(db.path);
  Statement insert(c, ParamTyping::text);
  insert.set_text("insert into yak values (:ymd, :yjcode, :name, :yakcode)");
  insert.set("ymd", "20260101");
  insert.set("yjcode", "1");
  insert.set("name", "n");
  insert.set("yakcode", "y");

  c.start_transaction();
  insert.execute();
  c.commit();
  c.start_transaction();
  insert.set("yjcode", "2");
  insert.execute();
  c.rollback();
  EXPECT_EQ(column(c.handle(), "select yjcode from yak"), std::vector<std::string>{"1"});
  c.close();
  Raw after(db.path);  // the file lock is gone with the close
  EXPECT_EQ(after.column("select yjcode from yak"), std::vector<std::string>{"1"});
}

TEST(Connection, CommitFailsWhenTheEngineRolledBackByItself) {
  SchemaDb db;
  {
    Raw setup(db.path);
    setup.exec("create table u (x unique)");
  }
  Connection c(db.path);
  Statement insert(c, ParamTyping::text);
  insert.set_text("insert or rollback into u values (:x)");
  insert.set("x", "1");

  // The second insert breaks the constraint and the engine rolls the whole
  // transaction back: a later commit must not report success.
  c.start_transaction();
  insert.execute();
  expect_error([&] { insert.execute(); }, "UNIQUE constraint failed: u.x");
  EXPECT_TRUE(c.in_transaction());
  expect_error([&] { c.commit(); }, "cannot commit - no transaction is active");
  EXPECT_FALSE(c.in_transaction());
  EXPECT_EQ(column(c.handle(), "select count(*) from u"), std::vector<std::string>{"0"});

  // Rolling back such a transaction only clears the state.
  c.start_transaction();
  insert.execute();
  EXPECT_THROW(insert.execute(), Error);
  StatementLog log;
  log.attach(c.handle());
  c.rollback();
  EXPECT_FALSE(c.in_transaction());
  EXPECT_TRUE(log.texts.empty());
  c.start_transaction();  // and the next transaction starts normally
  EXPECT_EQ(c.transaction_number(), 3);
  c.commit();
}

TEST(Connection, FileLockedByAnotherConnectionFailsTheOpening) {
  SchemaDb db;
  auto other = std::make_unique<Raw>(db.path);
  other->exec("PRAGMA locking_mode = EXCLUSIVE");
  other->exec("insert into yak values ('20260101', '1', 'n', 'y')");  // the write takes the lock for good

  Connection c(db.path);
  for (auto op : {&Connection::start_transaction, &Connection::commit, &Connection::rollback}) {
    try {
      (c.*op)();
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "database is locked");
      EXPECT_EQ(e.extended_code() & 0xff, SQLITE_BUSY);
    }
    EXPECT_FALSE(c.is_open());
  }

  other.reset();
  c.start_transaction();
  EXPECT_TRUE(c.is_open());
  EXPECT_EQ(c.transaction_number(), 1);
  c.commit();
}

TEST(Connection, FolderThatCannotBeWrittenFailsUntilItExists) {
  ScratchFolder dir{"efi-db"};
  const auto folder = dir.folder() / "not-yet";
  Connection c(efi::test_support::utf8_of(folder / "vorn.sqlite3"));
  expect_error([&] { c.start_transaction(); }, "unable to open database file");
  EXPECT_FALSE(c.is_open());
  EXPECT_FALSE(c.in_transaction());
  expect_error([&] { c.rollback(); }, "unable to open database file");

  std::filesystem::create_directory(folder);
  c.start_transaction();
  EXPECT_TRUE(c.is_open());
  EXPECT_EQ(c.transaction_number(), 1);
  c.commit();
}

TEST(Connection, FileThatIsNotADatabaseFailsTheOpening) {
  ScratchFolder dir{"efi-db"};
  const std::string path = dir.path("vorn.sqlite3");
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 64; ++i) out << "this is a text file, not a database file\n";
  }
  Connection c(path);
  try {
    c.start_transaction();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "file is not a database");
    EXPECT_EQ(e.extended_code(), SQLITE_NOTADB);
  }
  EXPECT_FALSE(c.is_open());
}

TEST(Connection, SetDatabaseClosesAndUsesTheNewFile) {
  SchemaDb first;
  ScratchFolder dir{"efi-db"};
  Connection c(first.path);
  c.start_transaction();
  c.commit();
  c.set_database(dir.path("other.sqlite3"));
  EXPECT_FALSE(c.is_open());
  EXPECT_EQ(c.database(), dir.path("other.sqlite3"));
  c.start_transaction();
  c.rollback();
  EXPECT_EQ(column(c.handle(), "select count(*) from sqlite_schema"), std::vector<std::string>{"0"});
  Raw firstagain(first.path);  // released by the change
  EXPECT_EQ(firstagain.column("select count(*) from yak"), std::vector<std::string>{"0"});
}

}  // namespace
}  // namespace efi::db
