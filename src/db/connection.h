// The one connection to the database file (FDC1).
//
// It opens lazily, on the first start of a transaction: sqlite3_open_v2 with
// read-write and create, extended result codes on, then the settings
// statements "PRAGMA cache_size = 10000", "PRAGMA locking_mode = Exclusive",
// "PRAGMA synchronous = Off", "PRAGMA journal_mode = Delete",
// "PRAGMA foreign_keys = On", in this order, and the busy timeout left at 0:
// a lock held by another process fails a statement at once. A file that
// cannot be opened or read leaves the connection closed; the next start,
// commit or roll-back tries again.
//
// Transactions are numbered from 1 each time the connection opens:
// "BEGIN DEFERRED TRANSACTION t_N", "COMMIT TRANSACTION t_N",
// "ROLLBACK TRANSACTION t_N". Commit and roll-back open the connection first
// when it is closed and do nothing while no transaction is active.
//
// A connection made with Access::read_only is for readers (the report, row
// counts): sqlite3_open_v2 with SQLITE_OPEN_READONLY only, so a missing file
// fails the opening instead of being created, and none of the settings
// statements run: the file is never written, its journal mode never changed,
// and no lock outlives a read (normal locking mode). The busy timeout is 0
// here too, so a file another program holds exclusively fails the opening.
// A read-only connection also opens on open_if_closed(), without a
// transaction; a transaction on it is a read transaction (one snapshot).
//
// Closing finalizes the prepared handles of every Statement and Query made on
// this connection (they prepare again on their next execution, or fail), so
// the file and its lock are really released. Neither must outlive it.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace efi::db {

class Statement;
class Query;

// How a connection opens its file.
enum class Access {
  read_write,  // read-write and create, then the settings statements (the loads)
  read_only,   // read-only: never creates, never writes, no settings statements
};

// An engine error, carrying the engine's own text (sqlite3_errmsg, taken at
// once) and its extended result code.
class Error : public std::runtime_error {
 public:
  Error(const std::string& engine_text, int extended_code, std::string sql = {})
      : std::runtime_error(engine_text), extended_code_(extended_code), sql_(std::move(sql)) {}
  int extended_code() const { return extended_code_; }
  const std::string& sql() const { return sql_; }  // the statement that failed, if any

 private:
  int extended_code_;
  std::string sql_;
};

// The failures a caller tells apart to say what to do about them.
enum class ErrorKind {
  locked,            // another connection holds a lock (busy, locked)
  not_a_database,    // the file is not an SQLite database
  cannot_open,       // the file or its folder cannot be opened
  unfinished_write,  // a hot journal a read-only connection cannot roll back
  read_only,         // a write on a read-only connection or file
  other,             // anything else
};
ErrorKind kind_of(const Error& error);

class Connection {
 public:
  // `database` is used as given; a relative name resolves against the current
  // directory at the moment the connection opens.
  explicit Connection(std::string database = "vorn.sqlite3", Access access = Access::read_write);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void start_transaction();  // opens first if closed; throws Error
  void commit();             // opens first if closed; nothing without a transaction
  void rollback();           // opens first if closed; nothing without a transaction
  void open_if_closed();     // throws Error; what the first start would do

  bool is_open() const { return handle_ != nullptr; }
  bool in_transaction() const { return in_transaction_; }
  // Number of the last transaction started since the connection opened.
  std::int64_t transaction_number() const { return transaction_number_; }
  const std::string& database() const { return database_; }
  Access access() const { return access_; }
  void set_database(std::string database);  // closes the connection first

  void close() noexcept;
  // Generation counter: increases each time the connection opens, so a
  // statement can tell its prepared handle belongs to an earlier opening.
  std::uint64_t generation() const { return generation_; }
  sqlite3* handle() const { return handle_; }  // null while closed

 private:
  friend class Statement;  // registers itself in statements_
  friend class Query;      // registers itself in queries_

  void open();
  void run_simple(const std::string& sql);  // prepare, step once, finalize

  std::string database_;                 // file name as given, UTF-8
  Access access_;                        // how open() opens it
  sqlite3* handle_ = nullptr;            // null while closed
  bool in_transaction_ = false;          // our own view; the engine may have rolled back
  std::int64_t transaction_number_ = 0;  // N of the last "t_N" since opening
  std::uint64_t generation_ = 0;         // count of openings
  std::vector<Statement*> statements_;   // live statements made on this connection
  std::vector<Query*> queries_;          // live queries made on this connection
};

// While it lives, the engine calls `check` every few thousand of its steps
// in a statement on the connection, so a long one (deleting a month's old
// rows, an insert-from-select over them) can let a window answer meanwhile;
// when `check` returns true the statement stops and fails with the engine's
// "interrupted" (SQLITE_INTERRUPT). `check` must not use the connection.
// Made after the connection opened; ended before the transaction is
// committed or rolled back, so those are never cut short.
class ProgressCheck {
 public:
  ProgressCheck(Connection& connection, std::function<bool()> check);
  ~ProgressCheck();
  ProgressCheck(const ProgressCheck&) = delete;
  ProgressCheck& operator=(const ProgressCheck&) = delete;

 private:
  static int ask(void* self);  // the engine's progress callback: non-zero stops the statement

  sqlite3* handle_;              // null when the connection was closed
  std::function<bool()> check_;  // true: stop the statement
};

}  // namespace efi::db
