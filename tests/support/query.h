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

// Holds `database` as the EFImport window holds it between runs: exclusive
// locking mode, an exclusive transaction committed, the connection left open
// until the object goes. It writes nothing, so the file's bytes show whether
// another program wrote. (Do not read the file in this process meanwhile:
// closing any descriptor of a file releases the process's POSIX locks on it.)
// Throws std::runtime_error when the lock cannot be taken.
class WindowLock {
 public:
  explicit WindowLock(const std::string& database);
  ~WindowLock();
  WindowLock(const WindowLock&) = delete;
  WindowLock& operator=(const WindowLock&) = delete;

 private:
  sqlite3* handle_ = nullptr;  // the holding connection
};

}  // namespace efi::test_support
