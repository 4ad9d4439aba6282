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

std::int64_t count_rows(sqlite3* db, const ChangedTable& table, const SummaryKeys& keys) {
  // Table names come from efload's own list, never from the command line.
  const std::string sql = table.is_date_keyed
                              ? "select count(*) from " + table.table + " where ymd = ?1"
                              : "select count(*) from " + table.table +
                                    " where yymm = ?1 and yymmkbn = ?2";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    fail(db, "counting the rows of " + table.table);
  }
  std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement(raw);
  if (table.is_date_keyed) {
    sqlite3_bind_text(raw, 1, table.ymd.data(), static_cast<int>(table.ymd.size()), SQLITE_STATIC);
  } else {
    // The inserts store the pattern key as the text "0" or "1".
    const std::string kbn = std::to_string(keys.yymmkbn);
    sqlite3_bind_text(raw, 1, keys.yymm.data(), static_cast<int>(keys.yymm.size()), SQLITE_STATIC);
    sqlite3_bind_text(raw, 2, kbn.data(), static_cast<int>(kbn.size()), SQLITE_TRANSIENT);
  }
  if (sqlite3_step(raw) != SQLITE_ROW) fail(db, "counting the rows of " + table.table);
  return sqlite3_column_int64(raw, 0);
}

}  // namespace

std::vector<std::string> summary_lines(const std::string& database, const SummaryKeys& keys,
                                       const std::vector<ChangedTable>& tables) {
  std::vector<std::string> lines;
  if (tables.empty()) return lines;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  std::unique_ptr<sqlite3, CloseDatabase> db(raw);
  if (rc != SQLITE_OK) fail(raw, "opening " + database + " to count the rows");
  for (const ChangedTable& table : tables) {
    const std::int64_t count = count_rows(raw, table, keys);
    std::string line = "table " + table.table + ": " + std::to_string(count) +
                       (count == 1 ? " row" : " rows") + " for ";
    if (table.is_date_keyed) {
      line += "ymd " + table.ymd;
    } else {
      line += "yymm " + keys.yymm + ", yymmkbn " + std::to_string(keys.yymmkbn);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace efi::cli
