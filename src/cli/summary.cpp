// Row counts per changed table, on a read-only connection.
#include "cli/summary.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace efi::cli {
namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

[[noreturn]] void fail(sqlite3* db, const std::string& doing) {
  throw std::runtime_error(doing + ": " + sqlite3_errmsg(db));
}

// The inserts store every key value as text ("0" or "1" for the pattern), so
// the rows are counted by the key's text.
std::string text_of(const import::KeyValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value.value)) return std::to_string(*number);
  return std::get<std::string>(value.value);
}

std::int64_t count_rows(sqlite3* db, const ChangedTable& table) {
  // Table names come from the step table, never from the command line.
  const std::string sql = "select count(*) from " + table.table + " where " +
                          std::string(import::key_condition(table.kind));
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    fail(db, "counting the rows of " + table.table);
  }
  std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement(raw);
  for (const import::KeyValue& value : table.key.values) {
    const std::string marker = ":" + std::string(value.parameter);
    const std::string text = text_of(value);
    sqlite3_bind_text(raw, sqlite3_bind_parameter_index(raw, marker.c_str()), text.data(),
                      static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  if (sqlite3_step(raw) != SQLITE_ROW) fail(db, "counting the rows of " + table.table);
  return sqlite3_column_int64(raw, 0);
}

}  // namespace

std::vector<std::string> summary_lines(const std::string& database,
                                       const std::vector<ChangedTable>& tables) {
  std::vector<std::string> lines;
  if (tables.empty()) return lines;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  std::unique_ptr<sqlite3, CloseDatabase> db(raw);
  if (rc != SQLITE_OK) fail(raw, "opening " + database + " to count the rows");
  for (const ChangedTable& table : tables) {
    const std::int64_t count = count_rows(raw, table);
    lines.push_back("table " + table.table + ": " + std::to_string(count) +
                    (count == 1 ? " row" : " rows") + " for " + import::key_text(table.key));
  }
  return lines;
}

}  // namespace efi::cli
