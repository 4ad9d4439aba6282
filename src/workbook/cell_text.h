// How a cell's stored value is written into the CSV: numbers as Excel's
// General format shows them, dates and times in their number format, and
// the _xHHHH_ escapes of SpreadsheetML strings undone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace efi::workbook {

// A number as General shows it: integers below 10^15 with all their digits,
// everything else with at most 15 significant digits, exponents as E+nn.
void append_general_number(std::string& out, double value);

// The number text of a <v> element: copied when it is already a plain
// integer of at most 15 digits, else parsed and written as General. False
// when the text is not a number.
bool append_number_text(std::string& out, std::string_view text);

// Undoes the _xHHHH_ escapes (a UTF-16 unit in hex) that Excel writes for
// control characters in strings; _x005F_ stands for the underscore itself.
void append_unescaped(std::string& out, std::string_view text);

// A date or time number format, compiled into its parts.
class DateFormat {
 public:
  // True when `code` formats dates or times (its first section decides).
  static bool is_date_code(std::string_view code);
  explicit DateFormat(std::string_view code);
  // Writes `serial` (days since the workbook's epoch, fraction = time of
  // day); false when the value lies outside Excel's dates (then the caller
  // writes the number).
  bool append(std::string& out, double serial, bool date1904) const;

  enum class Part {
    literal,
    year4,
    year2,
    month,
    month2,
    month_abbr,
    month_name,
    month_letter,
    day,
    day2,
    day_abbr,
    day_name,
    ja_day_abbr,
    ja_day_name,
    hour,
    hour2,
    minute,
    minute2,
    second,
    second2,
    ampm,
    elapsed_hours,
    elapsed_minutes,
    elapsed_seconds,
    fraction
  };
  struct Piece {
    Part part;         // what is written
    std::string text;  // the literal text, or for fraction the digit count as text
  };

 private:
  std::vector<Piece> pieces_;  // the format, left to right
  bool twelve_hour_ = false;   // an AM/PM part is present
  int fraction_digits_ = 0;    // digits of seconds' fraction (".0", ".00"); 0 = whole seconds
};

// The format code of a built-in number format id as Japanese Excel shows
// it, where that format is a date or time; empty otherwise.
std::string_view builtin_date_code(int id);

}  // namespace efi::workbook
