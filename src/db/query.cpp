// Queries: prepare once, bind by position, step row by row, read columns.
#include "db/query.h"

#include <sqlite3.h>

#include <algorithm>

namespace efi::db {

Query::Query(Connection& connection, std::string_view sql) : connection_(connection), sql_(sql) {
  sqlite3* db = connection_.handle();
  if (db == nullptr)
    throw Error("preparing a query: the database connection is not open", SQLITE_MISUSE, sql_);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql_.c_str(), static_cast<int>(sql_.size()) + 1, &stmt, nullptr) != SQLITE_OK) {
    std::string text = sqlite3_errmsg(db);
    int code = sqlite3_extended_errcode(db);
    sqlite3_finalize(stmt);
    throw Error(text, code, sql_);
  }
  if (stmt == nullptr) throw Error("preparing a query: the text holds no statement", SQLITE_MISUSE, sql_);
  prepared_ = stmt;
  connection_.queries_.push_back(this);
}

Query::~Query() {
  finalize();
  auto& list = connection_.queries_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Query::finalize() noexcept {
  if (prepared_ != nullptr) {
    sqlite3_finalize(prepared_);
    prepared_ = nullptr;
  }
}

sqlite3_stmt* Query::prepared() const {
  if (prepared_ == nullptr)
    throw Error("reading a query: the database connection was closed", SQLITE_MISUSE, sql_);
  return prepared_;
}

void Query::fail() const {
  sqlite3* db = connection_.handle();
  throw Error(db ? sqlite3_errmsg(db) : "the database connection was closed",
              db ? sqlite3_extended_errcode(db) : SQLITE_MISUSE, sql_);
}

void Query::bind(int position, std::string_view text) {
  // A null data() would bind NULL: the empty text stays text. The 64-bit
  // length keeps a huge text from being cut or misread.
  if (sqlite3_bind_text64(prepared(), position, text.data() ? text.data() : "", text.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8) != SQLITE_OK)
    fail();
}

int Query::position_of(std::string_view name) const {
  const std::string marker = ":" + std::string(name);
  const int position = sqlite3_bind_parameter_index(prepared(), marker.c_str());
  if (position == 0) {
    throw Error("binding a query: it has no parameter " + marker, SQLITE_RANGE, sql_);
  }
  return position;
}

void Query::bind(int position, std::int64_t value) {
  if (sqlite3_bind_int64(prepared(), position, value) != SQLITE_OK) fail();
}

void Query::bind_null(int position) {
  if (sqlite3_bind_null(prepared(), position) != SQLITE_OK) fail();
}

bool Query::step() {
  sqlite3_stmt* stmt = prepared();
  const int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt);  // no read stays open between queries
    return false;
  }
  sqlite3* db = connection_.handle();
  std::string text = sqlite3_errmsg(db);
  int code = sqlite3_extended_errcode(db);
  sqlite3_reset(stmt);
  throw Error(text, code, sql_);
}

void Query::reset() { sqlite3_reset(prepared()); }

int Query::column_count() const { return sqlite3_column_count(prepared()); }

ColumnType Query::column_type(int column) const {
  switch (sqlite3_column_type(prepared(), column)) {
    case SQLITE_INTEGER: return ColumnType::integer;
    case SQLITE_FLOAT: return ColumnType::real;
    case SQLITE_TEXT: return ColumnType::text;
    case SQLITE_BLOB: return ColumnType::blob;
    default: return ColumnType::null;
  }
}

std::string_view Query::text(int column) const {
  sqlite3_stmt* stmt = prepared();
  // Text first, then its length: the conversion to text may change the size.
  const unsigned char* bytes = sqlite3_column_text(stmt, column);
  if (bytes == nullptr) return {};
  return {reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))};
}

std::int64_t Query::int64(int column) const { return sqlite3_column_int64(prepared(), column); }

double Query::real(int column) const { return sqlite3_column_double(prepared(), column); }

std::vector<std::string> table_columns(Connection& connection, std::string_view table) {
  Query query(connection, "SELECT name FROM pragma_table_info(?1) ORDER BY cid");
  query.bind(1, table);
  std::vector<std::string> names;
  while (query.step()) names.emplace_back(query.text(0));
  return names;
}

std::string quoted_identifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

}  // namespace efi::db
