// Helpers shared by the db tests: a temporary folder, a database made from the
// schema, and a raw engine connection to look at what was stored.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/schema.h"

namespace efi::db::test {

inline std::string utf8(const std::filesystem::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

// A fresh folder under the system's temporary folder, removed with everything
// in it at the end.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("efi-db-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return utf8(path_ / name); }

 private:
  std::filesystem::path path_;  // the folder
};

// A file of the source tree; under Wine a Linux path is reached through Z:.
inline std::string source_file(const std::string& relative) {
  std::string p = std::string(EFI_SOURCE_DIR) + "/" + relative;
#ifdef _WIN32
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
#endif
  return p;
}

// Every row of a query on `db`, each column as text ("<null>" for NULL).
inline std::vector<std::vector<std::string>> rows(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
    throw std::runtime_error("test: " + sql + ": " + sqlite3_errmsg(db));
  std::vector<std::vector<std::string>> out;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const unsigned char* t = sqlite3_column_text(stmt, i);
      row.push_back(t ? std::string(reinterpret_cast<const char*>(t),
                                    static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))
                      : std::string("<null>"));
    }
    out.push_back(std::move(row));
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) throw std::runtime_error("test: " + sql + ": " + sqlite3_errstr(rc));
  return out;
}

// The first column of every row.
inline std::vector<std::string> column(sqlite3* db, const std::string& sql) {
  std::vector<std::string> out;
  for (auto& row : rows(db, sql)) out.push_back(row.at(0));
  return out;
}

inline void exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string text = err ? err : "?";
    sqlite3_free(err);
    throw std::runtime_error("test: " + sql + ": " + text);
  }
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
  void exec(const std::string& sql) { test::exec(db_, sql); }
  std::vector<std::vector<std::string>> rows(const std::string& sql) { return test::rows(db_, sql); }
  std::vector<std::string> column(const std::string& sql) { return test::column(db_, sql); }

 private:
  sqlite3* db_ = nullptr;  // the connection
};

// A database holding the eight tables, in a temporary folder.
struct SchemaDb {
  TempDir dir;                                      // holds the file
  std::string path = dir.file("vorn.sqlite3");      // the database file
  SchemaDb() { apply_schema(path); }
};

}  // namespace efi::db::test
