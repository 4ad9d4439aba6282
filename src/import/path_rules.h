// What the drug list steps take from a file name box: the check for
// characters a path may not hold, the file-name part, and the list date that
// the ministry's workbook carries in its name (characters 3 to 10).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace efi::import {

// A path held a character that no path may hold. Its text is the message the
// operator sees in the general error box.
class InvalidPathError : public std::invalid_argument {
 public:
  InvalidPathError() : std::invalid_argument(text) {}
  static constexpr const char* text = "パスに無効な文字が含まれています";
};

// False when `path` holds U+0000 to U+001F, '"', '<', '>' or '|'. '*' and '?'
// pass; a leading "\\?\" or "\\?\UNC\" prefix is not examined.
bool has_valid_path_chars(std::string_view path);

// Throws InvalidPathError when has_valid_path_chars() is false.
void check_path_chars(std::string_view path);

// The text after the last '\', '/' or ':'; the whole text without any.
std::string_view file_name_part(std::string_view path);

// Characters 3 to 10 (counted in code points, the first being 1) of the
// file-name part; fewer, possibly none, when the name is shorter.
std::string list_date_from_file_name(std::string_view path);

// Exactly eight ASCII digits.
bool is_eight_digit_date(std::string_view date);

}  // namespace efi::import
