// The generic drug share of a month and the months before it: the figures
// the page, the CSV and the JSON show, computed from the loaded tables.
//
// For one month and one side (inpatient EFn, outpatient EFg) of a pattern:
//   1. usage rows: the rows of the key; a row's quantity is its usage
//      amount; a row without one (no matching E row) is counted under data
//      quality, never as zero;
//   2. drug code: the row's receipt code, mapped through the newest Y list
//      (greatest yak.ymd) to its price-list code; a receipt code the list
//      maps to several price-list codes is counted under data quality and
//      gets none; duplicate Y rows never multiply a usage row;
//   3. the drug list in force: the kyak rows of the greatest ymd on or
//      before the month's last day (as text: ymd <= yymm || '31'), else the
//      oldest list, and the figures say so; class = kyak.flg of the price-list
//      code, excluded = kyak.bikou4 is "1"; a code absent from it is
//      unclassified;
//   4. new index = class 3 / (class 2 + class 3), excluded items left out;
//      cut-off value = (class 2 + class 3) / every classified item, excluded
//      items and crude drugs and Kampo (price-list codes 510..., 520...) left
//      out; no denominator gives no share ("—"), never 0 %.
// The month of the report must have usage rows; an earlier month without any
// is "no data".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "report/quantity.h"

namespace efi::report {

// The classes of the ministry's list (kyak.flg), in the order shown.
enum class DrugClass {
  brand_without_generics,  // "1"
  brand_with_generics,     // "2"
  brand_at_generic_price,  // "☆": a brand priced at or below its generics
  generic,                 // "3"
  generic_at_brand_price,  // "★": a generic priced at or above its brand
  blank,                   // "": old drugs, crude drugs, Kampo, biologics
};
inline constexpr std::size_t drug_class_count = 6;
inline constexpr std::array<DrugClass, drug_class_count> all_drug_classes = {
    DrugClass::brand_without_generics, DrugClass::brand_with_generics,
    DrugClass::brand_at_generic_price, DrugClass::generic,
    DrugClass::generic_at_brand_price, DrugClass::blank};
// The flag as the list writes it ("1", "2", "☆", "3", "★", "").
std::string_view flag_of(DrugClass drug_class);

// Quantities of one month and side, by where their rows fall.
struct Quantities {
  std::array<Quantity, drug_class_count> by_class;  // classified, not excluded (index: DrugClass)
  Quantity excluded;                                // excluded items of every class
  Quantity unclassified;     // no price-list code, several, or one absent from the list
  Quantity crude_and_kampo;  // of by_class: price-list codes 510... and 520...
  Quantity& of(DrugClass c) { return by_class[static_cast<std::size_t>(c)]; }
  Quantity of(DrugClass c) const { return by_class[static_cast<std::size_t>(c)]; }
};

// A class "2" drug, where a switch to generics raises the share.
struct BrandUsage {
  std::string code;        // price-list code
  std::string ingredient;  // seibunmei
  std::string product;     // hinmei
  Quantity quantity;       // usage of the month
};

// A code behind a data quality count, with what it carries.
struct QualityCode {
  std::string code;                      // receipt code (or price-list code, for the list)
  std::string name;                      // the Y list's name, or the list's product, if known
  std::int64_t rows = 0;                 // usage rows
  Quantity quantity;                     // their readable quantity
  std::vector<std::string> price_codes;  // ambiguous in the Y list: the codes it maps to
};

// What kept rows out of the shares. Counts of codes are distinct codes.
struct Quality {
  std::int64_t rows_without_e_match = 0;     // rows without an amount
  std::int64_t rows_amount_unreadable = 0;   // rows whose amount is no number
  std::int64_t codes_not_in_y = 0;           // receipt codes without a price-list code
  std::int64_t codes_ambiguous_in_y = 0;     // receipt codes with several
  std::int64_t codes_duplicated_in_y = 0;    // receipt codes on several rows of the Y list
  std::int64_t codes_not_in_list = 0;        // price-list codes absent from the list in force
  std::int64_t codes_ambiguous_in_list = 0;  // price-list codes whose rows disagree
  std::int64_t codes_unknown_class = 0;      // price-list codes of a class outside the six
  // The codes behind each count, most rows first, at most `top_quality_codes`.
  std::vector<QualityCode> without_e_match, not_in_y, ambiguous_in_y, not_in_list;
};
inline constexpr std::size_t top_quality_codes = 10;
inline constexpr std::size_t top_brand_count = 20;

// One side (inpatient or outpatient) of one month.
struct SideFigures {
  std::int64_t rows = 0;  // usage rows of the key
  Quantities quantity;
  Ratio new_index;                    // class 3 / (class 2 + class 3)
  Ratio cutoff;                       // (class 2 + class 3) / every classified item
  std::vector<BrandUsage> top_brand;  // class 2 by quantity, then code; at most top_brand_count
  Quality quality;
  bool has_data() const { return rows > 0; }
};

struct MonthFigures {
  std::string yymm;                           // "202110"
  std::optional<std::string> drug_list_date;  // ymd of the list used; nullopt: kyak is empty
  bool drug_list_fallback = false;            // no list that old: the oldest was used
  SideFigures inpatient;                      // EFn
  SideFigures outpatient;                     // EFg
};

struct ReportFigures {
  std::string yymm;                        // the report month
  int pattern = 1;                         // 1 or 2
  std::optional<std::string> y_list_date;  // greatest yak.ymd; nullopt: yak is empty
  std::vector<MonthFigures> months;        // the report month first, then older ones
};

struct ReportRequest {
  std::string yymm;  // the report month, "YYYYMM"
  int pattern = 1;   // 1 (yymmkbn "0") or 2 (yymmkbn "1")
  int months = 6;    // months in all, the report month included
};

// The database cannot give the report; the text says why and what to do.
class ReportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True for six digits of a year and a month 01 to 12.
bool is_year_month(std::string_view yymm);
// `yymm` and the months before it, `count` in all, newest first.
std::vector<std::string> months_back(const std::string& yymm, int count);

// The figures from an open connection (read in one read transaction).
// Throws TableError, ReportError (no usage rows in the report month) or db::Error.
ReportFigures compute_figures(db::Connection& connection, const ReportRequest& request);

// Opens `database` read-only, computes and closes. Every failure comes as
// ReportError with a message for the operator (locked by the window, not a
// database, a missing table, no rows for the month).
ReportFigures read_report(const std::string& database, const ReportRequest& request);

}  // namespace efi::report
