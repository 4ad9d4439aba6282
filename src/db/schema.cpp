// Applying the embedded schema on a connection of its own.
#include "db/schema.h"

#include <sqlite3.h>

#include "db/connection.h"

namespace efi::db {
namespace {

// Owns one short-lived engine connection.
struct Handle {
  sqlite3* db = nullptr;  // null until opened
  ~Handle() { sqlite3_close_v2(db); }
};

[[noreturn]] void fail(sqlite3* db, int rc, const std::string& what) {
  std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  throw Error(text, db ? sqlite3_extended_errcode(db) : rc, what);
}

void exec(sqlite3* db, const std::string& sql) {
  if (int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK) fail(db, rc, sql);
}

}  // namespace

void apply_schema(const std::string& database_path) {
  Handle h;
  if (int rc =
          sqlite3_open_v2(database_path.c_str(), &h.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
      rc != SQLITE_OK)
    fail(h.db, rc, {});
  sqlite3_extended_result_codes(h.db, 1);
  // One transaction: a schema that fails half-way leaves the file as it was
  // (closing the handle rolls back).
  exec(h.db, "BEGIN IMMEDIATE");
  exec(h.db, std::string(schema_sql()));
  exec(h.db, "COMMIT");
}

}  // namespace efi::db
