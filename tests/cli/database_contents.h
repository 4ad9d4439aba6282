// What a database holds, read by the test on a connection of its own, so a
// run can be checked to have left the rows of earlier runs exactly as they were.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace efi::cli::testing {

// Every table's rows (each row its values with their types, in column order),
// sorted, so two snapshots compare equal exactly when each table holds the
// same multiset of rows. Throws std::runtime_error when the file cannot be read.
using DatabaseContents = std::map<std::string, std::vector<std::string>>;
DatabaseContents database_contents(const std::string& database);

// The first column of the first row of `sql`, as text; "<no row>", "<null>"
// or "<error: ...>" otherwise.
std::string query_value(const std::string& database, const std::string& sql);

// Runs `sql` (one or more statements) on a connection of the test's own.
void execute_sql(const std::string& database, const std::string& sql);

}  // namespace efi::cli::testing
