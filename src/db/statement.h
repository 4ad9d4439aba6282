// A statement object (FDQ_*): statement text, named parameters and, once
// executed, a prepared engine statement re-executed with fresh bindings.
//
// Setting the text builds the parameter list from the ":name" markers in it.
// Names match without regard to case; setting an unknown name is an error.
// A parameter's type is none, text or integer: a statement made with
// ParamTyping::text starts every parameter as text (the inserts); otherwise
// each parameter takes the type of the first value set into it (the shared
// delete). Binding: text values lose every trailing character of code U+0020
// or lower and are bound as text (the empty text stays the empty text, never
// NULL); integers are bound as 64-bit integers; a text parameter given a
// number takes its decimal digits.
//
// The text is prepared on the first execution and on the first execution
// after the text was replaced or the connection re-opened; every execution
// resets, binds every marker and steps once. In steady state an execution
// allocates nothing: values are assigned into each parameter's own buffer and
// bound from there. A statement must be destroyed before its connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"

struct sqlite3_stmt;

namespace efi::db {

enum class ParamTyping {
  untyped,  // each parameter takes its type from its first value
  text,     // every parameter is a text parameter from the start
};

enum class ParamType { none, text, integer };

class Statement {
 public:
  Statement(Connection& connection, ParamTyping typing);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Replaces the whole text (lines joined by "\n"): drops the prepared
  // statement and builds a new parameter list, every parameter without value.
  void set_text(std::string_view text);
  void set_lines(std::initializer_list<std::string_view> lines);
  const std::string& text() const { return text_; }

  // Index of a parameter by name (case-insensitive); throws std::invalid_argument
  // for an unknown name. Stays valid until the text is replaced. Callers on a
  // hot path look the index up once and set by index.
  std::size_t param_index(std::string_view name) const;
  std::size_t param_count() const { return params_.size(); }
  const std::string& param_name(std::size_t index) const { return params_[index].name; }
  ParamType param_type(std::size_t index) const { return params_[index].type; }

  // An integer parameter given text takes it only when it is a whole decimal
  // number; anything else throws std::invalid_argument.
  void set(std::size_t index, std::string_view text);
  void set(std::size_t index, std::int64_t value);
  // As set(index, text) for a text parameter, without copying: the caller
  // keeps `text` alive and unchanged until the statement has been executed
  // (a row's fields, bound straight from the line they were split from).
  void set_borrowed(std::size_t index, std::string_view text);
  void set(std::string_view name, std::string_view text) { set(param_index(name), text); }
  void set(std::string_view name, std::int64_t value) { set(param_index(name), value); }
  void set(std::string_view name, const char* text) { set(param_index(name), std::string_view(text)); }

  // Prepares if needed, then reset, bind every marker, step once. Throws Error
  // (also for a closed connection and for a parameter without value).
  void execute();
  // Rows the last execution inserted, updated or deleted.
  std::int64_t changes() const { return changes_; }

 private:
  friend class Connection;  // finalizes the prepared handle when it closes

  struct Param {
    std::string name;  // marker without the colon, as written first
    ParamType type = ParamType::none;
    bool has_value = false;
    std::string text;           // the value of a text parameter, trailing blanks removed
    std::string_view borrowed;  // the value set by set_borrowed, when `is_borrowed`
    bool is_borrowed = false;
    std::int64_t integer = 0;  // the value of an integer parameter
  };
  void prepare();
  void finalize() noexcept;
  void bind_all();

  Connection& connection_;
  ParamTyping typing_;
  std::string text_;
  std::vector<Param> params_;
  sqlite3_stmt* prepared_ = nullptr;
  std::uint64_t prepared_generation_ = 0;     // connection generation it belongs to
  std::vector<std::size_t> marker_to_param_;  // per marker (1-based - 1) its parameter
  std::int64_t changes_ = 0;                  // rows the last execution changed
};

}  // namespace efi::db
