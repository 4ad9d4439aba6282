// Statement objects FDQ_*: parameter list from the ":name" markers, the binding
// rules, and prepare-once / reset-bind-step per execution.
#include "db/statement.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <system_error>

namespace efi::db {
namespace {

// The characters the engine accepts in a parameter name after the colon.
bool is_name_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c >= 0x80;
}

unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return fold(static_cast<unsigned char>(x)) == fold(static_cast<unsigned char>(y));
         });
}

// Every ":name" marker of `sql` in order of appearance, outside string
// literals, quoted identifiers and comments.
template <typename F>
void for_each_marker(std::string_view sql, F&& found) {
  const std::size_t n = sql.size();
  std::size_t i = 0;
  auto skip_to = [&](char close) {  // past the next `close`, or to the end
    std::size_t j = sql.find(close, i + 1);
    i = (j == std::string_view::npos) ? n : j + 1;
  };
  while (i < n) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '`') {
      skip_to(c);  // a doubled quote simply closes and reopens
    } else if (c == '[') {
      skip_to(']');
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      std::size_t j = sql.find('\n', i + 2);
      i = (j == std::string_view::npos) ? n : j + 1;
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      std::size_t j = sql.find("*/", i + 2);
      i = (j == std::string_view::npos) ? n : j + 2;
    } else if (c == ':') {
      std::size_t j = i + 1;
      while (j < n && is_name_char(static_cast<unsigned char>(sql[j]))) ++j;
      if (j > i + 1) found(sql.substr(i + 1, j - i - 1));
      i = j;
    } else {
      ++i;
    }
  }
}

// Drops every trailing character of code U+0020 or lower. In UTF-8 such a
// character is a single byte <= 0x20 and no byte of a longer sequence is that
// small, so working on bytes is exact (U+3000 stays).
std::string_view trim_trailing_blanks(std::string_view s) {
  std::size_t end = s.size();
  while (end > 0 && static_cast<unsigned char>(s[end - 1]) <= 0x20) --end;
  return s.substr(0, end);
}

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

}  // namespace

Statement::Statement(Connection& connection, ParamTyping typing) : connection_(connection), typing_(typing) {
  connection_.statements_.push_back(this);
}

Statement::~Statement() {
  finalize();
  auto& list = connection_.statements_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Statement::finalize() noexcept {
  if (prepared_ != nullptr) {
    sqlite3_finalize(prepared_);
    prepared_ = nullptr;
  }
  marker_to_param_.clear();
}

void Statement::set_text(std::string_view text) {
  finalize();
  params_.clear();
  text_.assign(text);
  const ParamType initial = (typing_ == ParamTyping::text) ? ParamType::text : ParamType::none;
  for_each_marker(text_, [&](std::string_view name) {
    for (const Param& p : params_)
      if (same_name(p.name, name)) return;
    Param p;
    p.name.assign(name);
    p.type = initial;
    params_.push_back(std::move(p));
  });
}

void Statement::set_lines(std::initializer_list<std::string_view> lines) {
  std::string joined;
  bool first = true;
  for (std::string_view line : lines) {
    if (!first) joined += '\n';
    joined += line;
    first = false;
  }
  set_text(joined);
}

std::size_t Statement::param_index(std::string_view name) const {
  for (std::size_t i = 0; i < params_.size(); ++i)
    if (same_name(params_[i].name, name)) return i;
  throw std::invalid_argument("setting a statement parameter: no parameter named " + quoted(name));
}

void Statement::set(std::size_t index, std::string_view text) {
  if (index >= params_.size())
    throw std::out_of_range("setting a statement parameter: no parameter number " + std::to_string(index));
  Param& p = params_[index];
  const std::string_view value = trim_trailing_blanks(text);
  if (p.type == ParamType::none) p.type = ParamType::text;
  if (p.type == ParamType::text) {
    p.text.assign(value);
    p.is_borrowed = false;
  } else {
    // An integer parameter takes text only when it is a whole decimal number.
    std::string_view digits = value;
    const bool plus = !digits.empty() && digits.front() == '+';
    if (plus) digits.remove_prefix(1);
    std::int64_t n = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (digits.empty() || (plus && digits.front() == '-') || ec != std::errc() ||
        end != digits.data() + digits.size())
      throw std::invalid_argument("setting statement parameter " + quoted(p.name) + ": " + quoted(text) +
                                  " is not a whole number");
    p.integer = n;
  }
  p.has_value = true;
}

void Statement::set_borrowed(std::size_t index, std::string_view text) {
  if (index >= params_.size() || params_[index].type != ParamType::text) {
    set(index, text);  // the copying path reports and converts alike
    return;
  }
  Param& p = params_[index];
  p.borrowed = trim_trailing_blanks(text);
  p.is_borrowed = true;
  p.has_value = true;
}

void Statement::set(std::size_t index, std::int64_t value) {
  if (index >= params_.size())
    throw std::out_of_range("setting a statement parameter: no parameter number " + std::to_string(index));
  Param& p = params_[index];
  if (p.type == ParamType::none) p.type = ParamType::integer;
  if (p.type == ParamType::integer) {
    p.integer = value;
  } else {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    p.text.assign(digits, end);
    p.is_borrowed = false;
  }
  p.has_value = true;
}

void Statement::prepare() {
  sqlite3* db = connection_.handle();
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, text_.c_str(), static_cast<int>(text_.size()) + 1, &stmt, nullptr) !=
      SQLITE_OK) {
    std::string text = sqlite3_errmsg(db);
    int code = sqlite3_extended_errcode(db);
    sqlite3_finalize(stmt);
    throw Error(text, code, text_);
  }
  if (stmt == nullptr)
    throw Error("executing a statement: the statement text is empty", SQLITE_MISUSE, text_);

  // Which parameter each of the engine's markers takes, decided once here so
  // that an execution binds by position only.
  const int markers = sqlite3_bind_parameter_count(stmt);
  marker_to_param_.assign(static_cast<std::size_t>(markers), 0);
  for (int m = 1; m <= markers; ++m) {
    const char* name = sqlite3_bind_parameter_name(stmt, m);
    std::size_t found = params_.size();
    if (name != nullptr && name[0] == ':') {
      for (std::size_t i = 0; i < params_.size(); ++i)
        if (same_name(params_[i].name, name + 1)) found = i;
    }
    if (found == params_.size()) {
      sqlite3_finalize(stmt);
      marker_to_param_.clear();
      throw Error("preparing a statement: marker " + std::to_string(m) + " (" + (name ? name : "?") +
                      ") is not a named :parameter of the statement",
                  SQLITE_MISUSE, text_);
    }
    marker_to_param_[static_cast<std::size_t>(m - 1)] = found;
  }
  prepared_ = stmt;
  prepared_generation_ = connection_.generation();
}

void Statement::bind_all() {
  for (std::size_t m = 0; m < marker_to_param_.size(); ++m) {
    const Param& p = params_[marker_to_param_[m]];
    const int pos = static_cast<int>(m) + 1;
    int rc;
    if (!p.has_value) {
      throw Error("executing a statement: parameter " + quoted(p.name) + " has no value", SQLITE_MISUSE,
                  text_);
    } else if (p.type == ParamType::integer) {
      rc = sqlite3_bind_int64(prepared_, pos, p.integer);
    } else {
      // A null data() would bind NULL: the empty text stays text. The length
      // goes over whole: an int would turn 2 GiB into a negative length (read
      // up to a NUL) and 4 GiB + n into n, where the engine's own limit
      // refuses the field with "string or blob too big".
      const std::string_view text = p.is_borrowed ? p.borrowed : std::string_view(p.text);
      rc = sqlite3_bind_text64(prepared_, pos, text.data() ? text.data() : "",
                               static_cast<sqlite3_uint64>(text.size()), SQLITE_STATIC, SQLITE_UTF8);
    }
    if (rc != SQLITE_OK)
      throw Error(sqlite3_errmsg(connection_.handle()), sqlite3_extended_errcode(connection_.handle()),
                  text_);
  }
}

void Statement::execute() {
  if (!connection_.is_open())
    throw Error("executing a statement: the database connection is not open", SQLITE_MISUSE, text_);
  if (prepared_ != nullptr && prepared_generation_ != connection_.generation()) finalize();
  if (prepared_ == nullptr) prepare();

  sqlite3_reset(prepared_);
  bind_all();
  const int rc = sqlite3_step(prepared_);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::string text = sqlite3_errmsg(connection_.handle());
    int code = sqlite3_extended_errcode(connection_.handle());
    sqlite3_reset(prepared_);
    throw Error(text, code, text_);
  }
  changes_ = sqlite3_changes64(connection_.handle());
  // Reset at once so that a statement that returned a row holds no read open.
  sqlite3_reset(prepared_);
}

}  // namespace efi::db
