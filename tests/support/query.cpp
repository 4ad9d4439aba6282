#include "support/query.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace efi::test_support {
namespace {

struct Close {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct Finalize {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, Close>;
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

Database open(const std::string& database, int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(database.c_str(), &raw, flags, nullptr);
  Database db(raw);
  if (rc != SQLITE_OK) {
    throw std::runtime_error("opening " + database + ": " + sqlite3_errmsg(raw));
  }
  return db;
}

Statement prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    throw std::runtime_error("preparing \"" + sql + "\": " + sqlite3_errmsg(db));
  }
  return Statement(raw);
}

// One value with its type, so the text "0" and the integer 0 differ.
std::string typed_value(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  const int bytes = sqlite3_column_bytes(statement, column);
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL: return "null";
    case SQLITE_INTEGER: return "int:" + std::string(reinterpret_cast<const char*>(text), bytes);
    case SQLITE_FLOAT: return "real:" + std::string(reinterpret_cast<const char*>(text), bytes);
    case SQLITE_BLOB: return "blob:" + std::to_string(bytes);
    default: return "text:" + std::string(reinterpret_cast<const char*>(text), bytes);
  }
}

}  // namespace

std::vector<Row> query_rows(sqlite3* handle, const std::string& sql) {
  Statement statement = prepare(handle, sql);
  std::vector<Row> rows;
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    Row row;
    for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
      const unsigned char* text = sqlite3_column_text(statement.get(), c);
      row.push_back(text ? std::string(reinterpret_cast<const char*>(text),
                                       static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), c)))
                         : std::string("NULL"));
    }
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) throw std::runtime_error("running \"" + sql + "\": " + sqlite3_errmsg(handle));
  return rows;
}

std::vector<Row> query_rows(const std::string& database, const std::string& sql) {
  Database db = open(database, SQLITE_OPEN_READWRITE);
  return query_rows(db.get(), sql);
}

void execute_sql(sqlite3* handle, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : "unknown error";
    sqlite3_free(message);
    throw std::runtime_error("running \"" + sql + "\": " + text);
  }
}

DatabaseContents database_contents(const std::string& database) {
  Database db = open(database, SQLITE_OPEN_READONLY);
  std::vector<std::string> tables;
  {
    Statement names = prepare(db.get(), "select name from sqlite_schema where type = 'table'");
    while (sqlite3_step(names.get()) == SQLITE_ROW) {
      tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(names.get(), 0)));
    }
  }
  DatabaseContents contents;
  for (const std::string& table : tables) {
    Statement rows = prepare(db.get(), "select * from \"" + table + "\"");
    std::vector<std::string>& out = contents[table];
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(rows.get()); ++c) {
        row += typed_value(rows.get(), c);
        row += '\x1f';
      }
      out.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
      throw std::runtime_error("reading " + table + " of " + database + ": " + sqlite3_errmsg(db.get()));
    }
    std::sort(out.begin(), out.end());
  }
  return contents;
}

std::string query_value(const std::string& database, const std::string& sql) {
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    std::string text = "<error: " + std::string(sqlite3_errmsg(raw)) + ">";
    sqlite3_close(raw);
    return text;
  }
  Database db(raw);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(raw, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    return "<error: " + std::string(sqlite3_errmsg(raw)) + ">";
  }
  Statement owned(statement);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement, 0))
                : "<null>";
  }
  return rc == SQLITE_DONE ? "<no row>" : "<error: " + std::string(sqlite3_errmsg(raw)) + ">";
}

void execute_sql(const std::string& database, const std::string& sql) {
  Database db = open(database, SQLITE_OPEN_READWRITE);
  execute_sql(db.get(), sql);
}

WindowLock::WindowLock(const std::string& database) {
  Database db = open(database, SQLITE_OPEN_READWRITE);
  execute_sql(db.get(), "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;");
  handle_ = db.release();
}

WindowLock::~WindowLock() { sqlite3_close(handle_); }

}  // namespace efi::test_support
