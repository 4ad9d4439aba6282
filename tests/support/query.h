// A test's own look at a database file, on a connection of its own: what the
// program under test committed, compared as text.
#pragma once

#include <map>
#include <string>
#include <vector>

struct sqlite3;

namespace efi::test_support {

// One row, each column as text; NULL as "NULL".
using Row = std::vector<std::string>;

// Every row of `sql`. Throws std::runtime_error when the file cannot be
// opened or the statement fails. The second form reads through a connection
// the test holds open (to keep a lock, say).
std::vector<Row> query_rows(const std::string& database, const std::string& sql);
std::vector<Row> query_rows(sqlite3* handle, const std::string& sql);

// The first column of the first row of `sql`, as text; "<no row>", "<null>"
// or "<error: ...>" otherwise, so a test can expect a failure as well.
std::string query_value(const std::string& database, const std::string& sql);

// Runs `sql` (one or more statements). Throws std::runtime_error.
void execute_sql(const std::string& database, const std::string& sql);
void execute_sql(sqlite3* handle, const std::string& sql);

// Every table's rows (each row its values with their types, in column order),
// sorted, so two snapshots compare equal exactly when each table holds the
// same multiset of rows. Throws std::runtime_error when the file cannot be read.
using DatabaseContents = std::map<std::string, std::vector<std::string>>;
DatabaseContents database_contents(const std::string& database);

}  // namespace efi::test_support
