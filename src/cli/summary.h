// The closing summary of `efload run`: for every table the run changed, its
// row count for the run's key, read with a connection of its own once the
// run's connection is closed (it holds its file in exclusive locking mode).
#pragma once

#include <string>
#include <vector>

#include "import/run.h"
#include "import/steps.h"

namespace efi::cli {

// One table a step committed rows to, and the key it wrote them under.
struct ChangedTable {
  std::string table;     // En, Fn, Eg, Fg, kyak, yak, EFn, EFg
  import::KeyKind kind;  // which condition picks the key's rows
  import::StepKey key;   // the values the step bound
};

// "table En: 1234 rows for yymm 202110, yymmkbn 0", one line per table, in
// the order given. Throws std::runtime_error when the database cannot be read.
std::vector<std::string> summary_lines(const std::string& database, const std::vector<ChangedTable>& tables);

}  // namespace efi::cli
