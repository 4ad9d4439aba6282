// Small databases for the report tests: the schema's eight tables (or a
// foreign layout of them), filled row by row with usage, Y list and drug list
// rows written as the loads would leave them.
#pragma once

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../db/db_test_support.h"

namespace efi::report::test {

using db::test::Raw;
using db::test::ScratchFolder;

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

  ScratchFolder dir{"efi-report"};              // holds the file
  std::string path = dir.path("vorn.sqlite3");  // the database file

 private:
  std::unique_ptr<Raw> raw_;  // the writing connection; null once closed
};

inline std::string file_bytes(const std::string& path) { return efi::test_support::read_file(path); }

// A JSON value, parsed strictly enough to tell a malformed rendering: the
// report's own output is all it reads.
struct Json {
  enum class Kind { null, boolean, number, string, array, object } kind = Kind::null;
  bool boolean = false;
  std::string text;                    // a string's value, or a number as written
  std::vector<Json> items;             // an array's values
  std::vector<std::string> keys;       // an object's keys, in order
  std::map<std::string, Json> fields;  // an object's values

  const Json& operator[](const std::string& key) const {
    const auto it = fields.find(key);
    if (it == fields.end()) throw std::out_of_range("JSON: no key \"" + key + "\"");
    return it->second;
  }
  const Json& operator[](std::size_t index) const { return items.at(index); }
  bool is_null() const { return kind == Kind::null; }
  double number() const { return std::strtod(text.c_str(), nullptr); }

  static Json parse(const std::string& source) {
    std::size_t at = 0;
    Json value = parse_value(source, at);
    skip_blanks(source, at);
    if (at != source.size()) throw std::runtime_error("JSON: text after the value at " + std::to_string(at));
    return value;
  }

 private:
  static void skip_blanks(const std::string& s, std::size_t& at) {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\r' || s[at] == '\t')) ++at;
  }
  [[noreturn]] static void fail(std::size_t at) {
    throw std::runtime_error("JSON: malformed at " + std::to_string(at));
  }
  static std::string parse_string(const std::string& s, std::size_t& at) {
    if (s[at] != '"') fail(at);
    std::string out;
    for (++at; at < s.size() && s[at] != '"'; ++at) {
      if (static_cast<unsigned char>(s[at]) < 0x20) fail(at);
      if (s[at] != '\\') {
        out += s[at];
        continue;
      }
      const char e = s.at(++at);
      if (e == 'u') {
        out +=
            static_cast<char>(std::stoi(s.substr(at + 1, 4), nullptr, 16));  // the report escapes < 0x20 only
        at += 4;
      } else {
        out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
      }
    }
    if (at >= s.size()) fail(at);
    ++at;
    return out;
  }
  static Json parse_value(const std::string& s, std::size_t& at) {
    skip_blanks(s, at);
    if (at >= s.size()) fail(at);
    Json v;
    const char c = s[at];
    if (c == '{') {
      v.kind = Kind::object;
      ++at;
      skip_blanks(s, at);
      if (s.at(at) == '}') return ++at, v;
      for (;;) {
        skip_blanks(s, at);
        std::string key = parse_string(s, at);
        skip_blanks(s, at);
        if (s.at(at++) != ':') fail(at);
        if (v.fields.count(key)) fail(at);
        v.keys.push_back(key);
        v.fields[key] = parse_value(s, at);
        skip_blanks(s, at);
        if (s.at(at) == ',') {
          ++at;
          continue;
        }
        if (s.at(at++) != '}') fail(at);
        return v;
      }
    }
    if (c == '[') {
      v.kind = Kind::array;
      ++at;
      skip_blanks(s, at);
      if (s.at(at) == ']') return ++at, v;
      for (;;) {
        v.items.push_back(parse_value(s, at));
        skip_blanks(s, at);
        if (s.at(at) == ',') {
          ++at;
          continue;
        }
        if (s.at(at++) != ']') fail(at);
        return v;
      }
    }
    if (c == '"') {
      v.kind = Kind::string;
      v.text = parse_string(s, at);
      return v;
    }
    for (const char* word : {"null", "true", "false"}) {
      if (s.compare(at, std::char_traits<char>::length(word), word) == 0) {
        at += std::char_traits<char>::length(word);
        v.kind = word[0] == 'n' ? Kind::null : Kind::boolean;
        v.boolean = word[0] == 't';
        return v;
      }
    }
    const std::size_t start = at;
    if (s[at] == '-') ++at;
    while (at < s.size() && (std::isdigit(static_cast<unsigned char>(s[at])) || s[at] == '.' ||
                             s[at] == 'e' || s[at] == 'E' || s[at] == '+' || s[at] == '-'))
      ++at;
    if (at == start) fail(at);
    v.kind = Kind::number;
    v.text = s.substr(start, at - start);
    return v;
  }
};

}  // namespace efi::report::test
