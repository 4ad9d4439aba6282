#include "import/path_rules.h"

#include <algorithm>

namespace efi::import {

namespace {

// The extended-length prefixes, longest first; the characters they hold are
// not examined.
constexpr std::string_view unc_prefix = "\\\\?\\UNC\\";
constexpr std::string_view long_prefix = "\\\\?\\";

bool is_invalid_path_char(unsigned char c) {
  return c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|';
}

// A byte that starts a code point in UTF-8 (anything but 10xxxxxx).
bool starts_code_point(unsigned char c) { return (c & 0xC0) != 0x80; }

}  // namespace

bool has_valid_path_chars(std::string_view path) {
  if (path.starts_with(unc_prefix)) {
    path.remove_prefix(unc_prefix.size());
  } else if (path.starts_with(long_prefix)) {
    path.remove_prefix(long_prefix.size());
  }
  // Every character tested is ASCII, and no byte of a multi-byte UTF-8
  // sequence is, so testing bytes is testing characters.
  return std::none_of(path.begin(), path.end(),
                      [](char c) { return is_invalid_path_char(static_cast<unsigned char>(c)); });
}

void check_path_chars(std::string_view path) {
  if (!has_valid_path_chars(path)) throw InvalidPathError();
}

std::string_view file_name_part(std::string_view path) {
  const std::size_t last = path.find_last_of("\\/:");
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

std::string list_date_from_file_name(std::string_view path) {
  const std::string_view name = file_name_part(path);
  constexpr std::size_t first = 3;  // 1-based, inclusive
  constexpr std::size_t last = 10;  // 1-based, inclusive
  std::size_t begin = name.size();
  std::size_t end = name.size();
  std::size_t number = 0;  // 1-based number of the code point starting at i
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!starts_code_point(static_cast<unsigned char>(name[i]))) continue;
    ++number;
    if (number == first) begin = i;
    if (number == last + 1) {
      end = i;
      break;
    }
  }
  return std::string(name.substr(begin, end - begin));
}

bool is_eight_digit_date(std::string_view date) {
  return date.size() == 8 &&
         std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace efi::import
