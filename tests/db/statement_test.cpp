#include "db/statement.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "db_test_support.h"

namespace efi::db {
namespace {

using test::column;

using test::SchemaDb;

// A schema database with an open transaction, plus a table `raw` whose column
// has no type, so typeof() shows exactly what was bound.
struct Open {
  SchemaDb db;
  Connection c{db.path};
  Open() {
    c.start_transaction();
    efi::test_support::execute_sql(c.handle(), "create table raw (v)");
  }
  std::vector<std::vector<std::string>> rows(const std::string& sql) {
    return efi::test_support::query_rows(c.handle(), sql);
  }
};

template <typename E, typename F>
void expect_message(F&& fn, const std::string& text) {
  try {
    fn();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const E& e) {
    EXPECT_EQ(e.what(), text);
  }
}

// Live prepared statements on a handle, and how often the only one has run.
int live_statements(sqlite3* db) {
  int n = 0;
  for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s)) ++n;
  return n;
}
int runs_of_only_statement(sqlite3* db) {
  return sqlite3_stmt_status(sqlite3_next_stmt(db, nullptr), SQLITE_STMTSTATUS_RUN, 0);
}

TEST(Statement, TextValuesLoseTrailingBlanksOnly) {
  struct Case {
    const char* given;   // value set
    const char* stored;  // text stored
  } const cases[] = {
      {"ABC  \t", "ABC"}, {"   ", ""},
      {"", ""},           {"\xE8\x96\xAC\xE3\x80\x80", "\xE8\x96\xAC\xE3\x80\x80"},  // 薬 + U+3000 is kept
      {"A B\r\n", "A B"}, {"\x01X\x1f\x7f", "\x01X\x1f\x7f"},  // only the end is cut, and DEL is above U+0020
      {"X\x01\x1f", "X"}, {"  lead", "  lead"},
  };
  Open o;
  Statement insert(o.c, ParamTyping::text);
  insert.set_text("insert into yak values (:ymd, :yjcode, :name, :yakcode)");
  const std::size_t name = insert.param_index("name");
  const std::size_t yakcode = insert.param_index("yakcode");
  // Each value set copied, then borrowed from a buffer that lives to the
  // execution, as the loader binds a line's fields.
  int n = 0;
  for (const bool borrowed : {false, true}) {
    for (const Case& k : cases) {
      const std::string buffer = k.given;
      insert.set("ymd", "20260101");
      insert.set("yjcode", std::to_string(n++));
      if (borrowed) {
        insert.set_borrowed(name, buffer);
        insert.set_borrowed(yakcode, std::string_view());  // no data pointer at all
      } else {
        insert.set(name, k.given);
        insert.set(yakcode, "");
      }
      insert.execute();
    }
  }
  auto stored =
      o.rows("select name, typeof(name), typeof(yakcode) from yak order by cast(yjcode as integer)");
  ASSERT_EQ(stored.size(), 2 * std::size(cases));
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const Case& k = cases[i % std::size(cases)];
    SCOPED_TRACE(std::string(k.given) + (i < std::size(cases) ? " (copied)" : " (borrowed)"));
    EXPECT_EQ(stored[i][0], k.stored);
    EXPECT_EQ(stored[i][1], "text") << "never NULL, also when empty";
    EXPECT_EQ(stored[i][2], "text");
  }
  // A copied value set after a borrowed one replaces it.
  std::string buffer = "borrowed";
  insert.set_borrowed(name, buffer);
  insert.set(name, "copied");
  buffer = "changed!";
  insert.set("yjcode", "last");
  insert.execute();
  EXPECT_EQ(o.rows("select name from yak where yjcode = 'last'")[0][0], "copied");
}

TEST(Statement, ParameterTypesFollowTheTypingOrTheFirstValue) {
  Open o;
  Statement text(o.c, ParamTyping::text);
  text.set_text("insert into raw values (:v)");
  EXPECT_EQ(text.param_type(0), ParamType::text);
  text.set("v", std::int64_t{0});  // a text parameter takes the digits
  text.execute();
  text.set("v", std::int64_t{-12});
  text.execute();

  Statement untyped(o.c, ParamTyping::untyped);
  untyped.set_text("insert into raw values (:v)");
  EXPECT_EQ(untyped.param_type(0), ParamType::none);
  untyped.set("v", std::int64_t{1});
  EXPECT_EQ(untyped.param_type(0), ParamType::integer);
  untyped.execute();
  untyped.set("v", "7 ");  // an integer parameter keeps its type: whole numbers convert
  untyped.execute();
  EXPECT_EQ(untyped.param_type(0), ParamType::integer);
  for (const char* bad : {"x", "1.5", "", "+-3", "99999999999999999999"}) {
    expect_message<std::invalid_argument>(
        [&] { untyped.set("v", bad); },
        std::string("setting statement parameter \"v\": \"") + bad + "\" is not a whole number");
  }

  // A new text starts the types afresh.
  untyped.set_text("insert into raw values (:v)");
  EXPECT_EQ(untyped.param_type(0), ParamType::none);
  untyped.set("v", "1");
  EXPECT_EQ(untyped.param_type(0), ParamType::text);
  untyped.execute();
  untyped.set("v", std::int64_t{2});
  untyped.execute();

  EXPECT_EQ(
      o.rows("select v, typeof(v) from raw order by rowid"),
      (std::vector<std::vector<std::string>>{
          {"0", "text"}, {"-12", "text"}, {"1", "integer"}, {"7", "integer"}, {"1", "text"}, {"2", "text"}}));
}

TEST(Statement, IntegerKeyDeleteMatchesTextKeysOnlyInTypedColumns) {
  Open o;
  efi::test_support::execute_sql(o.c.handle(), "create table untyped_yak (ymd, yjcode, name, yakcode)");
  for (const char* table : {"yak", "untyped_yak"}) {
    Statement insert(o.c, ParamTyping::text);
    insert.set_text(std::string("insert into ") + table + " values (:ymd, :yjcode, :name, :yakcode)");
    for (const char* key : {"0", "0", "1"}) {
      insert.set("ymd", key);
      insert.set("yjcode", "c");
      insert.set("name", "n");
      insert.set("yakcode", "y");
      insert.execute();
    }
  }
  Statement del(o.c, ParamTyping::untyped);
  for (const char* table : {"yak", "untyped_yak"}) {
    del.set_text(std::string("delete from ") + table + " where ymd = :ymd");
    del.set("ymd", std::int64_t{0});
    del.execute();
  }
  // The TEXT column compares the integer 0 as "0"; a column without a type
  // never matches and rows would pile up with every import.
  EXPECT_EQ(column(o.c.handle(), "select ymd from yak"), std::vector<std::string>{"1"});
  EXPECT_EQ(column(o.c.handle(), "select ymd from untyped_yak"), (std::vector<std::string>{"0", "0", "1"}));
}

TEST(Statement, MarkersAreNamesOutsideQuotesAndComments) {
  Open o;
  Statement s(o.c, ParamTyping::text);
  s.set_lines({"insert into raw select ':lit' || \":ident\" || [:b] || `:c` -- :line",
               "  || /* :block\n :still */ :Real || :REAL || :real"});
  EXPECT_EQ(s.text(),
            "insert into raw select ':lit' || \":ident\" || [:b] || `:c` -- :line\n"
            "  || /* :block\n :still */ :Real || :REAL || :real");
  ASSERT_EQ(s.param_count(), 1u);
  EXPECT_EQ(s.param_name(0), "Real");
  EXPECT_EQ(s.param_index("real"), 0u);
  EXPECT_EQ(s.param_index("rEAL"), 0u);
  s.set("REAL", "x");
  efi::test_support::execute_sql(o.c.handle(), "create table b (\":b\"); insert into b values ('B')");
  // "[:b]" names a column: make the statement valid by giving it a source
  s.set_text(
      "insert into raw select ':lit' || \":b\" || [:b] || `:b` || :Real || :REAL /* :x */ from b -- :y");
  s.set("real", "r");
  s.execute();
  EXPECT_EQ(column(o.c.handle(), "select v from raw"), std::vector<std::string>{":litBBBrr"});
}

TEST(Statement, ErrorsNameWhatFailed) {
  Open o;
  Statement s(o.c, ParamTyping::untyped);
  s.set_text("insert into raw values (:a)");
  expect_message<std::invalid_argument>([&] { s.set("nope", "x"); },
                                        "setting a statement parameter: no parameter named \"nope\"");
  expect_message<Error>([&] { s.execute(); }, "executing a statement: parameter \"a\" has no value");

  s.set_text("insert into nosuch values (:a)");
  s.set("a", "x");
  try {
    s.execute();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "no such table: nosuch");
    EXPECT_EQ(e.extended_code(), SQLITE_ERROR);
    EXPECT_EQ(e.sql(), "insert into nosuch values (:a)");
  }

  efi::test_support::execute_sql(o.c.handle(), "create table u (x unique)");
  s.set_text("insert into u values (:x)");
  s.set("x", std::int64_t{1});
  s.execute();
  try {
    s.execute();
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "UNIQUE constraint failed: u.x");
    EXPECT_EQ(e.extended_code(), SQLITE_CONSTRAINT_UNIQUE);
  }
  s.set("x", std::int64_t{2});
  s.execute();  // the statement is usable after a failed execution

  s.set_text("insert into raw values (?)");
  expect_message<Error>([&] { s.execute(); },
                        "preparing a statement: marker 1 (?) is not a named :parameter of the statement");
  s.set_text("  ");
  expect_message<Error>([&] { s.execute(); }, "executing a statement: the statement text is empty");

  Connection closed(o.db.dir.path("other.sqlite3"));
  Statement never(closed, ParamTyping::text);
  never.set_text("select 1");
  expect_message<Error>([&] { never.execute(); },
                        "executing a statement: the database connection is not open");
}

TEST(Statement, PreparesOnceAndAgainAfterNewTextOrReopening) {
  Open o;
  Statement s(o.c, ParamTyping::text);
  s.set_text("insert into raw values (:v)");
  const std::size_t v = s.param_index("v");
  EXPECT_EQ(live_statements(o.c.handle()), 0) << "nothing is prepared before the first execution";
  for (int i = 0; i < 100; ++i) {
    s.set(v, std::to_string(i));
    s.execute();
  }
  EXPECT_EQ(live_statements(o.c.handle()), 1);
  EXPECT_EQ(runs_of_only_statement(o.c.handle()), 100) << "one prepared statement ran every time";

  s.set_text("insert into raw values (:w)");
  EXPECT_EQ(live_statements(o.c.handle()), 0) << "new text drops the prepared statement";
  s.set("w", "x");
  s.execute();
  EXPECT_EQ(runs_of_only_statement(o.c.handle()), 1);
  o.c.commit();

  // Closing releases the statement; after opening again it prepares anew.
  o.c.close();
  o.c.start_transaction();
  s.execute();
  EXPECT_EQ(live_statements(o.c.handle()), 1);
  o.c.commit();
  EXPECT_EQ(column(o.c.handle(), "select count(*) from raw"), std::vector<std::string>{"102"});
}

}  // namespace
}  // namespace efi::db
