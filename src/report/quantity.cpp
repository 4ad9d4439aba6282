// Quantities as counts of millionths: reading stored amounts, exact sums,
// shares rounded once.
#include "report/quantity.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace efi::report {
namespace {

constexpr int places = 6;  // millionths

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The decimal `text` ([+-]digits[.digits][e[+-]digits], blanks around it
// allowed) in millionths, rounded half away from zero at the sixth place.
std::optional<Quantity> millionths_of_decimal(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  std::string digits;      // every mantissa digit, leading zeros dropped
  std::int64_t point = 0;  // digits of `digits` before the decimal point
  bool any_digit = false;
  bool after_point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (is_digit(c)) {
      any_digit = true;
      if (digits.empty() && c == '0') {
        if (after_point) --point;  // 0.05: the point moves right of the zero
        continue;
      }
      digits += c;
      if (!after_point) ++point;
    } else if (c == '.' && !after_point) {
      after_point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (i == text.size() || !is_digit(text[i])) return std::nullopt;
    std::int64_t exponent = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
    }
    point += exponent_negative ? -exponent : exponent;
  }
  if (i != text.size()) return std::nullopt;
  if (digits.empty()) return Quantity{};

  // value = 0.<digits> x 10^point; keep the digits down to the millionths.
  const std::int64_t kept = point + places;
  if (kept > 19) return std::nullopt;  // beyond 64 bits in any case
  std::int64_t units = 0;
  const std::int64_t present = static_cast<std::int64_t>(digits.size());
  for (std::int64_t k = 0; k < kept; ++k) {
    const int digit = k < present ? digits[static_cast<std::size_t>(k)] - '0' : 0;
    if (__builtin_mul_overflow(units, 10, &units) || __builtin_add_overflow(units, digit, &units))
      return std::nullopt;
  }
  // Half away from zero: only the first dropped digit decides.
  if (kept >= 0 && kept < present && digits[static_cast<std::size_t>(kept)] >= '5') {
    if (__builtin_add_overflow(units, 1, &units)) return std::nullopt;
  }
  return Quantity{negative ? -units : units};
}

// a x factor / b rounded half away from zero, for b > 0.
std::int64_t rounded_scaled(std::int64_t a, std::int64_t factor, std::int64_t b) {
  const __int128 scaled = static_cast<__int128>(a) * factor;
  const __int128 magnitude = scaled < 0 ? -scaled : scaled;
  const __int128 q = (magnitude * 2 + b) / (static_cast<__int128>(b) * 2);
  return static_cast<std::int64_t>(scaled < 0 ? -q : q);
}

// "72.3" from 723 tenths.
std::string tenths_text(std::int64_t tenths) {
  std::string out = tenths < 0 ? "-" : "";
  const std::uint64_t magnitude =
      tenths < 0 ? 0 - static_cast<std::uint64_t>(tenths) : static_cast<std::uint64_t>(tenths);
  out += std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
  return out;
}

// The integer and fraction digits of `q`, fraction without trailing zeros.
struct Parts {
  bool negative;
  std::string whole;     // "1234"
  std::string fraction;  // "5" for .5; empty for a whole number
};
Parts parts_of(Quantity q) {
  const std::uint64_t magnitude = q.millionths < 0 ? 0 - static_cast<std::uint64_t>(q.millionths)
                                                   : static_cast<std::uint64_t>(q.millionths);
  Parts p{q.millionths < 0, std::to_string(magnitude / millionths_per_unit), {}};
  std::string fraction = std::to_string(magnitude % millionths_per_unit);
  fraction.insert(0, places - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  p.fraction = fraction;
  return p;
}

}  // namespace

Quantity& Quantity::operator+=(Quantity other) {
  if (__builtin_add_overflow(millionths, other.millionths, &millionths))
    throw std::overflow_error("the usage amounts add up beyond what can be summed exactly");
  return *this;
}

std::optional<Quantity> quantity_from_integer(std::int64_t value) {
  std::int64_t units = 0;
  if (__builtin_mul_overflow(value, millionths_per_unit, &units)) return std::nullopt;
  return Quantity{units};
}

std::optional<Quantity> quantity_from_real(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // Most amounts have few decimals: when the nearest count of millionths
  // gives back the very double, that count is what the shortest decimal would
  // give too (below 2^33 two decimals of six places never share a double), so
  // the text round trip is only for the rest.
  if (std::fabs(value) < 8.0e9) {
    const double scaled = std::nearbyint(value * 1e6);
    if (scaled / 1e6 == value) return Quantity{static_cast<std::int64_t>(scaled)};
  }
  return millionths_of_decimal(shortest_text(value));
}

std::optional<Quantity> quantity_from_text(std::string_view text) { return millionths_of_decimal(text); }

std::string plain_text(Quantity q) {
  const Parts p = parts_of(q);
  std::string out = p.negative ? "-" : "";
  out += p.whole;
  if (!p.fraction.empty()) out += "." + p.fraction;
  return out;
}

std::string grouped_text(Quantity q) {
  const Parts p = parts_of(q);
  std::string whole;
  for (std::size_t i = 0; i < p.whole.size(); ++i) {
    if (i > 0 && (p.whole.size() - i) % 3 == 0) whole += ',';
    whole += p.whole[i];
  }
  std::string out = p.negative ? "-" : "";
  out += whole;
  if (!p.fraction.empty()) out += "." + p.fraction;
  return out;
}

std::optional<double> share_fraction(const Ratio& ratio) {
  if (!ratio.has_share()) return std::nullopt;
  return static_cast<double>(ratio.numerator.millionths) / static_cast<double>(ratio.denominator.millionths);
}

std::optional<std::int64_t> share_permille(const Ratio& ratio) {
  if (!ratio.has_share()) return std::nullopt;
  return rounded_scaled(ratio.numerator.millionths, 1000, ratio.denominator.millionths);
}

bool reaches(const Ratio& ratio, int percent) {
  if (!ratio.has_share()) return false;
  return static_cast<__int128>(ratio.numerator.millionths) * 100 >=
         static_cast<__int128>(ratio.denominator.millionths) * percent;
}

std::string percent_text(const Ratio& ratio) {
  const std::optional<std::int64_t> permille = share_permille(ratio);
  return permille ? tenths_text(*permille) + "%" : "—";
}

std::optional<double> gain_points(Quantity quantity, Quantity denominator) {
  if (denominator.millionths <= 0) return std::nullopt;
  return static_cast<double>(quantity.millionths) / static_cast<double>(denominator.millionths) * 100.0;
}

std::string gain_points_text(Quantity quantity, Quantity denominator) {
  if (denominator.millionths <= 0) return "—";
  return tenths_text(rounded_scaled(quantity.millionths, 1000, denominator.millionths));
}

std::string shortest_text(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

}  // namespace efi::report
