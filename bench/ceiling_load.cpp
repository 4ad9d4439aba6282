// The ceiling for a file load: the least work SQLite needs to store the rows
// of one file. The rows come already decoded to UTF-8 and split (a keyed TSV:
// yymm, yymmkbn, then the file's fields), read into memory before the clock
// starts. Timed: open with the connection's settings, the key's delete, one
// prepared insert bound with SQLITE_STATIC per row, one transaction, close.
//
// Usage: efi_bench_ceiling DATABASE TABLE KEYED_TSV
// Prints: "ceiling TABLE: N rows in S s (CPU C s)"
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void die(sqlite3* db, const char* doing) {
  std::fprintf(stderr, "ceiling: %s: %s\n", doing, db ? sqlite3_errmsg(db) : "failed");
  std::exit(1);
}

void exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) die(db, sql);
}

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: efi_bench_ceiling DATABASE TABLE KEYED_TSV\n");
    return 2;
  }
  const std::string table = argv[2];
  std::ifstream in(argv[3], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  // Rows as field views into `text`; every row has the same field count.
  std::vector<std::string_view> fields;
  std::size_t columns = 0, rows = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    std::size_t count = 0;
    for (std::size_t f = 0;; ++count) {
      const std::size_t tab = line.find('\t', f);
      fields.push_back(line.substr(f, tab == std::string_view::npos ? std::string_view::npos : tab - f));
      if (tab == std::string_view::npos) break;
      f = tab + 1;
    }
    ++count;
    if (columns == 0) columns = count;
    if (count != columns) {
      std::fprintf(stderr, "ceiling: row %zu has %zu fields, not %zu\n", rows + 1, count, columns);
      return 1;
    }
    ++rows;
    at = end + 1;
  }
  if (rows == 0) {
    std::fprintf(stderr, "ceiling: no rows\n");
    return 1;
  }

  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = cpu_seconds();
  sqlite3* db = nullptr;
  // the flags efload opens with: one thread uses the connection, so no mutex
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    die(db, "open");
  }
  sqlite3_extended_result_codes(db, 1);
  exec(db, "PRAGMA cache_size = 10000");
  exec(db, "PRAGMA locking_mode = Exclusive");
  exec(db, "PRAGMA synchronous = Off");
  exec(db, "PRAGMA journal_mode = Delete");
  exec(db, "PRAGMA foreign_keys = On");
  exec(db, "BEGIN DEFERRED TRANSACTION t_1");

  const std::string key_yymm(fields[0]);
  sqlite3_stmt* del = nullptr;
  const std::string delete_sql = "delete from " + table + " where yymm = ?1 and yymmkbn = ?2";
  if (sqlite3_prepare_v2(db, delete_sql.c_str(), -1, &del, nullptr) != SQLITE_OK) die(db, "prepare delete");
  sqlite3_bind_text(del, 1, key_yymm.data(), static_cast<int>(key_yymm.size()), SQLITE_STATIC);
  sqlite3_bind_int64(del, 2, std::atoll(std::string(fields[1]).c_str()));
  if (sqlite3_step(del) != SQLITE_DONE) die(db, "delete");
  sqlite3_finalize(del);

  std::string insert_sql = "insert into " + table + " values (";
  for (std::size_t c = 0; c < columns; ++c) insert_sql += c ? ",?" : "?";
  insert_sql += ")";
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, insert_sql.c_str(), -1, &insert, nullptr) != SQLITE_OK)
    die(db, "prepare insert");
  for (std::size_t r = 0; r < rows; ++r) {
    sqlite3_reset(insert);
    const std::string_view* row = &fields[r * columns];
    for (std::size_t c = 0; c < columns; ++c) {
      sqlite3_bind_text(insert, static_cast<int>(c + 1), row[c].data(), static_cast<int>(row[c].size()),
                        SQLITE_STATIC);
    }
    if (sqlite3_step(insert) != SQLITE_DONE) die(db, "insert");
  }
  sqlite3_finalize(insert);
  exec(db, "COMMIT TRANSACTION t_1");
  if (sqlite3_close(db) != SQLITE_OK) die(db, "close");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("ceiling %s: %zu rows in %.3f s (CPU %.3f s)\n", table.c_str(), rows, seconds,
              cpu_seconds() - cpu_start);
  return 0;
}
