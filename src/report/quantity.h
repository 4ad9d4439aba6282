// Exact quantities and shares.
//
// A usage amount is the F row's usage (a decimal with up to five places in
// the F file) times the E row's count of acts (a whole number), stored by the
// engine as an integer or a binary double: 0.1 x 3 is stored as
// 0.30000000000000004. Summing such doubles drifts, and a share people act on
// must not, so every amount is taken as a decimal count of millionths: an
// integer exactly; a double through the shortest decimal that reproduces it
// (0.30000000000000004), rounded half away from zero to six places (0.3); a
// text as the decimal it spells. Sums of millionths are exact 64-bit integers
// (up to 9.2 million million units, checked), and a share is rounded once,
// from its numerator and denominator, for display.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace efi::report {

// A quantity in millionths of the usage amount's unit.
struct Quantity {
  std::int64_t millionths = 0;  // 1.5 is 1500000

  Quantity& operator+=(Quantity other);  // throws std::overflow_error
  friend Quantity operator+(Quantity a, Quantity b) { return a += b; }
  friend bool operator==(Quantity, Quantity) = default;
  friend auto operator<=>(Quantity, Quantity) = default;
  bool is_zero() const { return millionths == 0; }
};

inline constexpr std::int64_t millionths_per_unit = 1'000'000;

// The readings of a stored amount; nullopt when it is no number (a text that
// spells none, an infinity) or beyond what a Quantity holds.
std::optional<Quantity> quantity_from_integer(std::int64_t value);
std::optional<Quantity> quantity_from_real(double value);
std::optional<Quantity> quantity_from_text(std::string_view text);

// "1234.5", "-0.000001", "0": the exact value, no separators (CSV, JSON).
std::string plain_text(Quantity q);
// "1,234.5": thousands grouped, for the page.
std::string grouped_text(Quantity q);

// A share: numerator over denominator, both exact.
struct Ratio {
  Quantity numerator;    // e.g. the generics' quantity
  Quantity denominator;  // e.g. generics and brands with generics
  bool has_share() const { return denominator.millionths > 0; }
};

// The share as a fraction for programs (JSON); nullopt without a denominator.
std::optional<double> share_fraction(const Ratio& ratio);
// The share in tenths of a percent, rounded half up from the exact values
// (723 is 72.3 %); nullopt without a denominator.
std::optional<std::int64_t> share_permille(const Ratio& ratio);
// True when the exact share is at least `percent` %: the additions' steps
// are met or not by the share itself, not by its rounded display.
bool reaches(const Ratio& ratio, int percent);
// "72.3%", or "—" without a denominator.
std::string percent_text(const Ratio& ratio);
// How many points a quantity adds to a share of `denominator` when it moves
// into the numerator, in tenths of a point ("2.3"); "—" without a denominator.
std::string gain_points_text(Quantity quantity, Quantity denominator);
std::optional<double> gain_points(Quantity quantity, Quantity denominator);

// The shortest decimal text that reads back as `value` ("0.30000000000000004",
// "1e+20"); used for the JSON numbers that are not exact quantities.
std::string shortest_text(double value);

}  // namespace efi::report
