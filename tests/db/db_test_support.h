// Helpers shared by the db tests: a database made from the schema in a
// scratch folder, and a raw engine connection of the test's own to look at
// what was stored (or to hold a lock while the code under test works).
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "db/schema.h"
#include "support/query.h"
#include "support/scratch_folder.h"
#include "support/wine_path.h"

namespace efi::db::test {

using efi::test_support::ScratchFolder;
using efi::test_support::source_path;

// The first column of every row.
inline std::vector<std::string> column(sqlite3* db, const std::string& sql) {
  std::vector<std::string> out;
  for (auto& row : efi::test_support::query_rows(db, sql)) out.push_back(row.at(0));
  return out;
}

// A plain engine connection of the test's own.
class Raw {
 public:
  explicit Raw(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      throw std::runtime_error("test: cannot open " + path);
  }
  ~Raw() { sqlite3_close_v2(db_); }
  Raw(const Raw&) = delete;
  Raw& operator=(const Raw&) = delete;

  sqlite3* handle() const { return db_; }
  void exec(const std::string& sql) { efi::test_support::execute_sql(db_, sql); }
  std::vector<std::vector<std::string>> rows(const std::string& sql) {
    return efi::test_support::query_rows(db_, sql);
  }
  std::vector<std::string> column(const std::string& sql) { return test::column(db_, sql); }

 private:
  sqlite3* db_ = nullptr;  // the connection
};

// A database holding the eight tables, in a scratch folder.
struct SchemaDb {
  ScratchFolder dir{"efi-db"};                  // holds the file
  std::string path = dir.path("vorn.sqlite3");  // the database file
  SchemaDb() { apply_schema(path); }
};

}  // namespace efi::db::test
