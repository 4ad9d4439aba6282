// The connection FDC1: lazy opening with the fixed settings, numbered
// transactions, and closing that releases the file.
#include "db/connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "db/query.h"
#include "db/statement.h"

namespace efi::db {
namespace {

// The settings run on every opening, in this order.
struct Setting {
  const char* name;   // pragma name
  const char* value;  // value as written after " = "
};
constexpr Setting kSettings[] = {
    {"cache_size", "10000"},    {"locking_mode", "Exclusive"}, {"synchronous", "Off"},
    {"journal_mode", "Delete"}, {"foreign_keys", "On"},
};

// Prepares `sql`, steps it once and finalizes it. The engine's text and code are
// taken before anything else can overwrite them.
void run_once(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()) + 1, &stmt, nullptr);
  if (rc == SQLITE_OK && stmt != nullptr) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) rc = SQLITE_DONE;
  }
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    std::string text = sqlite3_errmsg(db);
    int code = sqlite3_extended_errcode(db);
    sqlite3_finalize(stmt);
    throw Error(text, code, sql);
  }
  sqlite3_finalize(stmt);
}

std::string numbered(const char* verb, std::int64_t n) {
  return std::string(verb) + " TRANSACTION t_" + std::to_string(n);
}

}  // namespace

ErrorKind kind_of(const Error& error) {
  const int code = error.extended_code();
  if (code == SQLITE_READONLY_ROLLBACK) return ErrorKind::unfinished_write;
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ErrorKind::locked;
    case SQLITE_NOTADB: return ErrorKind::not_a_database;
    case SQLITE_CANTOPEN: return ErrorKind::cannot_open;
    case SQLITE_READONLY: return ErrorKind::read_only;
    default: return ErrorKind::other;
  }
}

Connection::Connection(std::string database, Access access)
    : database_(std::move(database)), access_(access) {}

Connection::~Connection() { close(); }

void Connection::set_database(std::string database) {
  close();
  database_ = std::move(database);
}

void Connection::open() {
  sqlite3* db = nullptr;
  // No mutex on this connection: only the thread that runs the import uses
  // it (reading ahead never touches the database), and the locking of the
  // serialized mode cost a tenth of a load once a second thread existed.
  const int mode =
      access_ == Access::read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(database_.c_str(), &db, mode | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    int code = db ? sqlite3_extended_errcode(db) : rc;
    sqlite3_close_v2(db);
    throw Error(text, code);
  }
  sqlite3_extended_result_codes(db, 1);
  try {
    // A reader changes nothing: exclusive locking mode would keep its shared
    // lock until it closes, and a journal mode statement may write the file.
    if (access_ == Access::read_write) {
      for (const Setting& s : kSettings) run_once(db, std::string("PRAGMA ") + s.name + " = " + s.value);
    }
    // The engine opens files lazily. Some settings happen to read the schema
    // (and so meet a file that is not a database, or one that another process
    // holds locked), but nothing promises that; one explicit read of the schema
    // makes such a file fail the opening itself, so the connection stays closed
    // instead of failing later inside a transaction.
    run_once(db, "SELECT count(*) FROM sqlite_schema");
  } catch (...) {
    sqlite3_close_v2(db);
    throw;
  }
  sqlite3_busy_timeout(db, 0);
  handle_ = db;
  in_transaction_ = false;
  transaction_number_ = 0;
  ++generation_;
}

void Connection::close() noexcept {
  if (handle_ == nullptr) return;
  // Our statements give up their handles now; without that the engine would keep
  // the connection (and, in exclusive mode, its file lock) alive as a zombie
  // until each of them was finalized.
  for (Statement* s : statements_) s->finalize();
  for (Query* q : queries_) q->finalize();
  sqlite3_close_v2(handle_);  // anything else still prepared is released with it later
  handle_ = nullptr;
  in_transaction_ = false;
}

void Connection::run_simple(const std::string& sql) { run_once(handle_, sql); }

void Connection::open_if_closed() {
  if (!is_open()) open();
}

void Connection::start_transaction() {
  if (!is_open()) open();
  const std::int64_t n = transaction_number_ + 1;
  run_simple(numbered("BEGIN DEFERRED", n));
  transaction_number_ = n;
  in_transaction_ = true;
}

void Connection::commit() {
  if (!is_open()) open();
  if (!in_transaction_) return;
  try {
    // When the engine already rolled the transaction back after an error, this
    // fails ("no transaction is active"): a lost transaction is never reported
    // as committed.
    run_simple(numbered("COMMIT", transaction_number_));
  } catch (...) {
    in_transaction_ = !sqlite3_get_autocommit(handle_);
    throw;
  }
  in_transaction_ = false;
}

void Connection::rollback() {
  if (!is_open()) open();
  if (!in_transaction_) return;
  if (sqlite3_get_autocommit(handle_)) {
    // The engine rolled back by itself already (after a full disk, for example).
    in_transaction_ = false;
    return;
  }
  try {
    run_simple(numbered("ROLLBACK", transaction_number_));
  } catch (...) {
    in_transaction_ = !sqlite3_get_autocommit(handle_);
    throw;
  }
  in_transaction_ = false;
}

ProgressCheck::ProgressCheck(Connection& connection, std::function<bool()> check)
    : handle_(connection.handle()), check_(std::move(check)) {
  constexpr int steps_between_asks = 4096;  // well under a millisecond of the engine's work
  if (handle_ != nullptr && check_) sqlite3_progress_handler(handle_, steps_between_asks, ask, this);
}

ProgressCheck::~ProgressCheck() {
  if (handle_ != nullptr) sqlite3_progress_handler(handle_, 0, nullptr, nullptr);
}

int ProgressCheck::ask(void* self) {
  try {
    return static_cast<ProgressCheck*>(self)->check_() ? 1 : 0;
  } catch (...) {
    return 0;  // an exception must not cross the engine
  }
}

}  // namespace efi::db
