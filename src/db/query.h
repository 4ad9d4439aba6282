// A query: one SELECT (or PRAGMA) read row by row, for the programs that read
// the database rather than load it (the report, row counts).
//
// The text is prepared when the query is made, on a connection that is open
// (Connection::open_if_closed); parameters are bound by position (1-based,
// "?1" or "?" in the text; position_of() finds a ":name") and keep their
// values across reset(). step()
// moves to the next row and returns false after the last one; the query then
// resets itself at once, so a finished read holds no lock. Columns are read
// by zero-based index as text (UTF-8), 64-bit integer or real, with the
// engine's own conversions; a text stays valid until the next step or reset.
//
// Every engine error throws Error with the engine's text and the query's SQL.
// Closing the connection finalizes the query; using it afterwards throws. A
// query must be destroyed before its connection.
//
// Column lists: table_columns() gives a table's column names in their order,
// so a reader can address columns by position whatever they are called, and
// quoted_identifier() writes a name into SQL text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"

struct sqlite3_stmt;

namespace efi::db {

// What a column of the current row holds (the engine's storage classes).
enum class ColumnType {
  integer,  // a 64-bit integer
  real,     // an IEEE double
  text,     // UTF-8 text
  blob,     // bytes
  null,     // NULL
};

class Query {
 public:
  // Prepares `sql` (one statement) on `connection`, which must be open;
  // throws Error.
  Query(Connection& connection, std::string_view sql);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // Binding by 1-based position; the values are copied. Throws Error for a
  // position the text does not have.
  void bind(int position, std::string_view text);
  void bind(int position, std::int64_t value);
  void bind_null(int position);
  // The position of the named parameter ":name"; throws Error when the text
  // has none.
  int position_of(std::string_view name) const;

  // The next row: true when one is ready, false after the last (the query is
  // then reset and may be stepped again from the first row).
  bool step();
  void reset();  // back before the first row; bindings stay

  // The current row, after step() returned true. `column` is zero-based.
  int column_count() const;
  ColumnType column_type(int column) const;
  bool is_null(int column) const { return column_type(column) == ColumnType::null; }
  std::string_view text(int column) const;  // NULL reads as the empty text
  std::int64_t int64(int column) const;     // the engine's conversion of a text or real
  double real(int column) const;

  const std::string& sql() const { return sql_; }

 private:
  friend class Connection;  // finalizes the prepared handle when it closes

  void finalize() noexcept;
  sqlite3_stmt* prepared() const;  // throws Error when the connection was closed
  [[noreturn]] void fail() const;  // throws Error with the engine's current text

  Connection& connection_;
  std::string sql_;                   // the text as given
  sqlite3_stmt* prepared_ = nullptr;  // null once the connection closed
};

// The column names of `table` in their order (cid), from pragma_table_info;
// empty when the database has no such table. Throws Error.
std::vector<std::string> table_columns(Connection& connection, std::string_view table);

// `name` as an SQL identifier in double quotes, inner quotes doubled.
std::string quoted_identifier(std::string_view name);

}  // namespace efi::db
