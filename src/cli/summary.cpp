// Row counts per changed table, on a read-only connection of their own.
#include "cli/summary.h"

#include <stdexcept>

#include "db/connection.h"
#include "db/query.h"

namespace efi::cli {
namespace {

// The inserts store every key value as text ("0" or "1" for the pattern), so
// the rows are counted by the key's text.
std::string text_of(const import::KeyValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value.value)) return std::to_string(*number);
  return std::get<std::string>(value.value);
}

std::int64_t count_rows(db::Connection& connection, const ChangedTable& table) {
  // Table names come from the step table, never from the command line.
  db::Query count(connection, "select count(*) from " + table.table + " where " +
                                  std::string(import::key_condition(table.kind)));
  for (const import::KeyValue& value : table.key.values) {
    count.bind(count.position_of(value.parameter), text_of(value));
  }
  count.step();
  return count.int64(0);
}

}  // namespace

std::vector<std::string> summary_lines(const std::string& database, const std::vector<ChangedTable>& tables) {
  std::vector<std::string> lines;
  if (tables.empty()) return lines;
  db::Connection connection(database, db::Access::read_only);
  for (const ChangedTable& table : tables) {
    std::int64_t count = 0;
    try {
      connection.open_if_closed();
      count = count_rows(connection, table);
    } catch (const db::Error& error) {
      throw std::runtime_error("counting the rows of " + table.table + " in " + database + ": " +
                               error.what());
    }
    lines.push_back("table " + table.table + ": " + std::to_string(count) + (count == 1 ? " row" : " rows") +
                    " for " + import::key_text(table.key));
  }
  return lines;
}

}  // namespace efi::cli
