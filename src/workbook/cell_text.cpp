#include "workbook/cell_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace efi::workbook {
namespace {

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The UTF-16 unit of "_xHHHH_" at `text[i]`, or -1.
long escape_at(std::string_view text, std::size_t i) {
  if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return -1;
  long v = 0;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    int d = hex_digit(text[k]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// Days from 1970-01-01 to a civil date, and back (H. Hinnant's algorithms).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

void append_int(std::string& out, long long v, int width) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  for (int n = static_cast<int>(r.ptr - buf); n < width; ++n) out += '0';
  out.append(buf, r.ptr);
}

constexpr const char* kMonthAbbr[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kMonthName[] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDayAbbr[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kDayName[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
constexpr const char* kJaDay[] = {"日", "月", "火", "水", "木", "金", "土"};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void append_general_number(std::string& out, double value) {
  if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15) {
    append_int(out, static_cast<long long>(value), 0);
    return;
  }
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  for (char* p = buf; p != r.ptr; ++p)
    if (*p == 'e') *p = 'E';
  out.append(buf, r.ptr);
}

bool append_number_text(std::string& out, std::string_view text) {
  std::size_t digits_from = (!text.empty() && text[0] == '-') ? 1 : 0;
  std::size_t digits = text.size() - digits_from;
  bool plain = digits >= 1 && digits <= 15 && (text[digits_from] != '0' || digits == 1);
  for (std::size_t i = digits_from; plain && i < text.size(); ++i) plain = text[i] >= '0' && text[i] <= '9';
  if (plain && !(digits_from == 1 && text == "-0")) {
    out += text;
    return true;
  }
  double value = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  append_general_number(out, value);
  return true;
}

void append_unescaped(std::string& out, std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t u = text.find("_x", i);
    if (u == std::string_view::npos) break;
    long unit = escape_at(text, u);
    if (unit < 0) {
      out.append(text.substr(i, u + 2 - i));
      i = u + 2;
      continue;
    }
    out.append(text.substr(i, u - i));
    long low = escape_at(text, u + 7);
    if (unit >= 0xD800 && unit < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
      append_utf8(out, 0x10000 + ((static_cast<std::uint32_t>(unit) - 0xD800) << 10) + (low - 0xDC00));
      i = u + 14;
    } else {
      append_utf8(out, (unit >= 0xD800 && unit < 0xE000) ? 0xFFFD : static_cast<std::uint32_t>(unit));
      i = u + 7;
    }
  }
  out.append(text.substr(i));
}

std::string_view builtin_date_code(int id) {
  switch (id) {
    case 14: return "yyyy/m/d";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "yyyy/m/d h:mm";
    case 30: return "m/d/yy";
    case 31: return "yyyy\"年\"m\"月\"d\"日\"";
    case 32: return "h\"時\"mm\"分\"";
    case 33: return "h\"時\"mm\"分\"ss\"秒\"";
    case 34:
    case 52:
    case 55: return "yyyy\"年\"m\"月\"";
    case 35:
    case 53:
    case 56: return "m\"月\"d\"日\"";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mm:ss.0";
    default: return {};
  }
}

bool DateFormat::is_date_code(std::string_view code) {
  std::size_t section_end = code.find(';');
  code = code.substr(0, section_end);
  for (std::size_t i = 0; i < code.size(); ++i) {
    char c = code[i];
    if (c == '"') {
      std::size_t close = code.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      i = close;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      std::size_t close = code.find(']', i + 1);
      if (close == std::string_view::npos) return false;
      std::string_view inner = code.substr(i + 1, close - i - 1);
      if (!inner.empty() && (lower(inner[0]) == 'h' || lower(inner[0]) == 'm' || lower(inner[0]) == 's'))
        return true;
      i = close;
    } else {
      char l = lower(c);
      if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's') return true;
      if (l == 'g' && code.substr(i, 7) == "General") i += 6;
    }
  }
  return false;
}

DateFormat::DateFormat(std::string_view code) {
  code = code.substr(0, code.find(';'));
  auto literal = [&](std::string_view s) {
    if (!pieces_.empty() && pieces_.back().part == Part::literal)
      pieces_.back().text += s;
    else
      pieces_.push_back({Part::literal, std::string(s)});
  };
  // An "m" is minutes right after an hour or right before a second.
  auto last_is_hour = [&] {
    for (auto it = pieces_.rbegin(); it != pieces_.rend(); ++it) {
      if (it->part == Part::literal) continue;
      return it->part == Part::hour || it->part == Part::hour2 || it->part == Part::elapsed_hours;
    }
    return false;
  };
  std::vector<std::size_t> month_pieces;  // one- and two-letter "m" taken as months, for a later "s"
  for (std::size_t i = 0; i < code.size();) {
    char c = code[i];
    char l = lower(c);
    std::size_t run = 1;
    while (i + run < code.size() && lower(code[i + run]) == l) ++run;
    if (c == '"') {
      std::size_t close = code.find('"', i + 1);
      if (close == std::string_view::npos) close = code.size();
      literal(code.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '\\') {
      if (i + 1 < code.size()) literal(code.substr(i + 1, 1));
      i += 2;
    } else if (c == '_') {
      literal(" ");
      i += 2;
    } else if (c == '*') {
      i += 2;
    } else if (c == '[') {
      std::size_t close = code.find(']', i + 1);
      if (close == std::string_view::npos) close = code.size();
      std::string_view inner = code.substr(i + 1, close - i - 1);
      if (!inner.empty()) {
        char k = lower(inner[0]);
        if (k == 'h') pieces_.push_back({Part::elapsed_hours, std::to_string(inner.size())});
        if (k == 'm') pieces_.push_back({Part::elapsed_minutes, std::to_string(inner.size())});
        if (k == 's') pieces_.push_back({Part::elapsed_seconds, std::to_string(inner.size())});
      }
      i = close + 1;  // colours, locales and conditions write nothing
    } else if (l == 'y') {
      pieces_.push_back({run >= 3 ? Part::year4 : Part::year2, {}});
      i += run;
    } else if (l == 'd') {
      Part p = run == 1 ? Part::day : run == 2 ? Part::day2 : run == 3 ? Part::day_abbr : Part::day_name;
      pieces_.push_back({p, {}});
      i += run;
    } else if (l == 'a' && code.substr(i, 5) == "AM/PM") {
      pieces_.push_back({Part::ampm, "AM/PM"});
      twelve_hour_ = true;
      i += 5;
    } else if (l == 'a' && code.substr(i, 3) == "A/P") {
      pieces_.push_back({Part::ampm, "A/P"});
      twelve_hour_ = true;
      i += 3;
    } else if (l == 'a' && run >= 3) {
      pieces_.push_back({run == 3 ? Part::ja_day_abbr : Part::ja_day_name, {}});
      i += run;
    } else if (l == 'h') {
      pieces_.push_back({run == 1 ? Part::hour : Part::hour2, {}});
      i += run;
    } else if (l == 's') {
      for (std::size_t k : month_pieces)
        if (k + 2 >= pieces_.size())  // the "m" just before, literals between allowed
          pieces_[k].part = pieces_[k].part == Part::month ? Part::minute : Part::minute2;
      month_pieces.clear();
      pieces_.push_back({run == 1 ? Part::second : Part::second2, {}});
      i += run;
      if (i < code.size() && code[i] == '.') {
        std::size_t z = 0;
        while (i + 1 + z < code.size() && code[i + 1 + z] == '0') ++z;
        if (z > 0) {
          fraction_digits_ = static_cast<int>(z > 3 ? 3 : z);
          pieces_.push_back({Part::fraction, std::to_string(fraction_digits_)});
          i += 1 + z;
        }
      }
    } else if (l == 'm') {
      if (run <= 2 && last_is_hour()) {
        pieces_.push_back({run == 1 ? Part::minute : Part::minute2, {}});
      } else {
        Part p = run == 1   ? Part::month
                 : run == 2 ? Part::month2
                 : run == 3 ? Part::month_abbr
                 : run == 4 ? Part::month_name
                            : Part::month_letter;
        if (run <= 2) month_pieces.assign(1, pieces_.size());
        pieces_.push_back({p, {}});
      }
      i += run;
    } else if (c == '@' || c == '#' || c == '0' || c == '?') {
      ++i;  // number placeholders have no place in a date
    } else {
      // any other character stands for itself (in UTF-8, whole sequences)
      std::size_t n = 1;
      while (i + n < code.size() && (static_cast<unsigned char>(code[i + n]) & 0xC0) == 0x80) ++n;
      literal(code.substr(i, n));
      i += n;
    }
  }
}

bool DateFormat::append(std::string& out, double serial, bool date1904) const {
  if (!std::isfinite(serial) || serial < 0 || serial >= 2958466) return false;
  double scale = std::pow(10.0, fraction_digits_);
  // The value rounded to the shown precision of seconds.
  double units = std::round(serial * 86400.0 * scale);
  std::int64_t whole_units = static_cast<std::int64_t>(units);
  std::int64_t per_day = static_cast<std::int64_t>(86400 * scale);
  std::int64_t day_number = whole_units / per_day;
  std::int64_t in_day = whole_units % per_day;
  std::int64_t seconds = in_day / static_cast<std::int64_t>(scale);
  std::int64_t fraction = in_day % static_cast<std::int64_t>(scale);

  int y, m, d, weekday;
  if (date1904) {
    std::int64_t z = days_from_civil(1904, 1, 1) + day_number;
    civil_from_days(z, y, m, d);
    weekday = static_cast<int>(((z % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  } else if (day_number == 0) {
    y = 1900, m = 1, d = 0, weekday = 6;  // Excel's "day 0"
  } else if (day_number == 60) {
    y = 1900, m = 2, d = 29, weekday = 3;  // the day Excel keeps for Lotus 1-2-3
  } else {
    std::int64_t z = days_from_civil(1899, 12, day_number < 60 ? 31 : 30) + day_number;
    civil_from_days(z, y, m, d);
    weekday = static_cast<int>(((z % 7) + 11) % 7);
  }
  int hour = static_cast<int>(seconds / 3600), minute = static_cast<int>(seconds / 60 % 60);
  int second = static_cast<int>(seconds % 60);
  int shown_hour = hour;
  if (twelve_hour_) shown_hour = hour % 12 == 0 ? 12 : hour % 12;
  std::int64_t total_seconds = day_number * 86400 + seconds;

  for (const Piece& p : pieces_) {
    switch (p.part) {
      case Part::literal: out += p.text; break;
      case Part::year4: append_int(out, y, 4); break;
      case Part::year2: append_int(out, y % 100, 2); break;
      case Part::month: append_int(out, m, 0); break;
      case Part::month2: append_int(out, m, 2); break;
      case Part::month_abbr: out += kMonthAbbr[m - 1]; break;
      case Part::month_name: out += kMonthName[m - 1]; break;
      case Part::month_letter: out += kMonthName[m - 1][0]; break;
      case Part::day: append_int(out, d, 0); break;
      case Part::day2: append_int(out, d, 2); break;
      case Part::day_abbr: out += kDayAbbr[weekday]; break;
      case Part::day_name: out += kDayName[weekday]; break;
      case Part::ja_day_abbr: out += kJaDay[weekday]; break;
      case Part::ja_day_name: out += kJaDay[weekday], out += "曜日"; break;
      case Part::hour: append_int(out, shown_hour, 0); break;
      case Part::hour2: append_int(out, shown_hour, 2); break;
      case Part::minute: append_int(out, minute, 0); break;
      case Part::minute2: append_int(out, minute, 2); break;
      case Part::second: append_int(out, second, 0); break;
      case Part::second2: append_int(out, second, 2); break;
      case Part::ampm:
        if (p.text == "A/P")
          out += hour < 12 ? "A" : "P";
        else
          out += hour < 12 ? "AM" : "PM";
        break;
      case Part::elapsed_hours: append_int(out, total_seconds / 3600, std::stoi(p.text)); break;
      case Part::elapsed_minutes: append_int(out, total_seconds / 60, std::stoi(p.text)); break;
      case Part::elapsed_seconds: append_int(out, total_seconds, std::stoi(p.text)); break;
      case Part::fraction:
        out += '.';
        append_int(out, fraction, fraction_digits_);
        break;
    }
  }
  return true;
}

}  // namespace efi::workbook
