// Small databases for the report tests: the schema's eight tables (or a
// foreign layout of them), filled row by row with usage, Y list and drug list
// rows written as the loads would leave them.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "../db/db_test_support.h"

namespace efi::report::test {

using db::test::Raw;
using db::test::TempDir;

inline std::string sql_text(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// A database file and a writing connection to fill it.
class FixtureDb {
 public:
  // With `schema`, the tables of efload init; without, none (the test makes them).
  explicit FixtureDb(bool schema = true) {
    if (schema) db::apply_schema(path);
    raw_ = std::make_unique<Raw>(path);
    exec("PRAGMA synchronous = OFF");  // the fixtures' many small inserts need no flush
  }

  void exec(const std::string& sql) { raw_->exec(sql); }

  // One usage row of EFn (inpatient) or EFg (outpatient) for `yymm`,
  // pattern key `kbn`; `amount` is SQL ("10.5", "NULL", "0.1 * 3").
  void inpatient(const std::string& rdcode, const std::string& amount, const std::string& yymm = "202110",
                 const std::string& kbn = "0") {
    exec("INSERT INTO EFn VALUES (" + sql_text(yymm) + ", " + sql_text(kbn) +
         ", '131234567', '0000012345', '20211015', '20211003', '21', '0002', '001', '000000406079', " +
         sql_text(rdcode) + ", 'drug', '20211003', " + amount + ")");
  }
  void outpatient(const std::string& rdcode, const std::string& amount, const std::string& yymm = "202110",
                  const std::string& kbn = "0") {
    exec("INSERT INTO EFg VALUES (" + sql_text(yymm) + ", " + sql_text(kbn) +
         ", '131234567', '0000020001', '19450312', '20211005', '21', '0002', '000000406079', " +
         sql_text(rdcode) + ", 'drug', '20211005', " + amount + ")");
  }
  // A Y list row: receipt code to price-list code.
  void y(const std::string& yjcode, const std::string& yakcode, const std::string& ymd = "20250813",
         const std::string& name = "") {
    exec("INSERT INTO yak VALUES (" + sql_text(ymd) + ", " + sql_text(yjcode) + ", " +
         sql_text(name.empty() ? "name of " + yjcode : name) + ", " + sql_text(yakcode) + ")");
  }
  // A drug list row: price-list code, class flag, excluded ("1") or not.
  void list(const std::string& code, const std::string& flg, const std::string& bikou4 = "",
            const std::string& ymd = "20211001") {
    exec("INSERT INTO kyak VALUES (" + sql_text(ymd) + ", " + sql_text(code) + ", " +
         sql_text("ingredient " + code) + ", " + sql_text("product " + code) + ", " + sql_text(flg) +
         ", '', '', '', " + sql_text(bikou4) + ")");
  }
  // Receipt code `rdcode` to price-list code `code` of class `flg` in one go.
  void drug(const std::string& rdcode, const std::string& code, const std::string& flg,
            const std::string& bikou4 = "") {
    y(rdcode, code);
    list(code, flg, bikou4);
  }

  void close() { raw_.reset(); }

  TempDir dir;                                       // holds the file
  std::string path = dir.file("vorn.sqlite3");       // the database file

 private:
  std::unique_ptr<Raw> raw_;  // the writing connection; null once closed
};

inline std::string file_bytes(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace efi::report::test
