// The closing summary of `efload run`: for every table the run changed, its
// row count for the run's key, read with a connection of its own once the
// run's connection is closed (it holds its file in exclusive locking mode).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace efi::cli {

// One table to count, and the key its rows were written under.
struct ChangedTable {
  std::string table;       // En, Fn, Eg, Fg, kyak, yak, EFn, EFg
  bool is_date_keyed;      // kyak, yak: keyed by ymd; the others by yymm and yymmkbn
  std::string ymd;         // date key (kyak: the list date, yak: the import day)
};

struct SummaryKeys {
  std::string yymm;        // as typed
  std::int64_t yymmkbn;    // 0 or 1
};

// "table En: 1234 rows for yymm 202110, yymmkbn 0", one line per table, in
// the order given. Throws std::runtime_error when the database cannot be read.
std::vector<std::string> summary_lines(const std::string& database, const SummaryKeys& keys,
                                       const std::vector<ChangedTable>& tables);

}  // namespace efi::cli
