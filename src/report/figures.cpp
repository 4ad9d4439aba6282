// The rules of the share: each month's usage per receipt code, through the
// newest Y list and the month's drug list, into classes and two ratios.
#include "report/figures.h"

#include <algorithm>
#include <map>
#include <cstdio>
#include <set>

#include "report/sources.h"
#include "report/tables.h"

namespace efi::report {
namespace {

std::optional<DrugClass> class_of_flag(std::string_view flag) {
  for (DrugClass c : all_drug_classes)
    if (flag_of(c) == flag) return c;
  return std::nullopt;
}

// Crude drugs and Kampo preparations, which the cut-off value leaves out.
bool is_crude_or_kampo(std::string_view price_code) {
  return price_code.starts_with("510") || price_code.starts_with("520");
}

// The list in force for `yymm`: the greatest date on or before its last day,
// compared as text as the rule states it; else the oldest (a fallback).
struct ListChoice {
  std::optional<std::string> date;  // nullopt: no list at all
  bool is_fallback = false;
};
ListChoice list_in_force(const std::vector<std::string>& ascending_dates, const std::string& yymm) {
  if (ascending_dates.empty()) return {};
  const std::string last_day = yymm + "31";
  const auto after = std::upper_bound(ascending_dates.begin(), ascending_dates.end(), last_day);
  if (after == ascending_dates.begin()) return {ascending_dates.front(), true};
  return {*std::prev(after), false};
}

// Most rows first, then by code; at most `limit`.
void keep_top(std::vector<QualityCode>& codes, std::size_t limit) {
  std::sort(codes.begin(), codes.end(), [](const QualityCode& a, const QualityCode& b) {
    return a.rows != b.rows ? a.rows > b.rows : a.code < b.code;
  });
  if (codes.size() > limit) codes.resize(limit);
}

// One side of one month.
SideFigures side_figures(const MonthUsage& usage, const YList& y_list, const DrugList* drug_list) {
  SideFigures side;
  side.rows = usage.rows;
  Quality& quality = side.quality;
  std::map<std::string, QualityCode> not_in_list;  // by price-list code
  std::map<std::string, BrandUsage> brands;        // class 2 by price-list code
  std::set<std::string> ambiguous_in_list, unknown_class;
  Quantity crude_and_kampo_in_numerator;  // class 2 and 3 among them

  for (const auto& [code, use] : usage.codes) {
    const auto y = y_list.codes.find(code);
    const std::string name = y != y_list.codes.end() ? y->second.name : std::string();
    if (use.rows_without_amount > 0) {
      quality.rows_without_e_match += use.rows_without_amount;
      quality.without_e_match.push_back({code, name, use.rows_without_amount, {}, {}});
    }
    quality.rows_amount_unreadable += use.rows_unreadable;

    if (y == y_list.codes.end() || y->second.price_codes.empty()) {
      ++quality.codes_not_in_y;
      quality.not_in_y.push_back({code, name, use.rows, use.quantity, {}});
      side.quantity.unclassified += use.quantity;
      continue;
    }
    const YEntry& entry = y->second;
    if (!entry.maps_to_one()) {
      ++quality.codes_ambiguous_in_y;
      quality.ambiguous_in_y.push_back({code, name, use.rows, use.quantity, entry.price_codes});
      side.quantity.unclassified += use.quantity;
      continue;
    }
    if (entry.rows > 1) ++quality.codes_duplicated_in_y;  // counted once all the same

    const std::string& price_code = entry.price_codes.front();
    const DrugEntry* drug = nullptr;
    if (drug_list != nullptr) {
      const auto found = drug_list->codes.find(price_code);
      if (found != drug_list->codes.end()) drug = &found->second;
    }
    if (drug == nullptr) {
      QualityCode& absent = not_in_list[price_code];
      absent.code = price_code;
      if (absent.name.empty()) absent.name = name;
      absent.rows += use.rows;
      absent.quantity += use.quantity;
      side.quantity.unclassified += use.quantity;
      continue;
    }
    if (drug->is_conflicting) {
      ambiguous_in_list.insert(price_code);
      side.quantity.unclassified += use.quantity;
      continue;
    }
    const std::optional<DrugClass> drug_class = class_of_flag(drug->flag);
    if (!drug_class) {
      unknown_class.insert(price_code);
      side.quantity.unclassified += use.quantity;
      continue;
    }
    if (drug->is_excluded) {
      side.quantity.excluded += use.quantity;
      continue;
    }
    side.quantity.of(*drug_class) += use.quantity;
    if (is_crude_or_kampo(price_code)) {
      side.quantity.crude_and_kampo += use.quantity;
      if (*drug_class == DrugClass::brand_with_generics || *drug_class == DrugClass::generic)
        crude_and_kampo_in_numerator += use.quantity;
    }
    if (*drug_class == DrugClass::brand_with_generics) {
      BrandUsage& brand = brands[price_code];
      brand.code = price_code;
      brand.ingredient = drug->ingredient;
      brand.product = drug->product;
      brand.quantity += use.quantity;
    }
  }

  quality.codes_not_in_list = static_cast<std::int64_t>(not_in_list.size());
  quality.codes_ambiguous_in_list = static_cast<std::int64_t>(ambiguous_in_list.size());
  quality.codes_unknown_class = static_cast<std::int64_t>(unknown_class.size());
  for (auto& [code, absent] : not_in_list) quality.not_in_list.push_back(std::move(absent));
  keep_top(quality.without_e_match, top_quality_codes);
  keep_top(quality.not_in_y, top_quality_codes);
  keep_top(quality.ambiguous_in_y, top_quality_codes);
  keep_top(quality.not_in_list, top_quality_codes);

  const Quantities& q = side.quantity;
  const Quantity brands_and_generics = q.of(DrugClass::brand_with_generics) + q.of(DrugClass::generic);
  side.new_index = {q.of(DrugClass::generic), brands_and_generics};
  Quantity classified;
  for (Quantity each : q.by_class) classified += each;
  // Crude drugs and Kampo leave the cut-off whole: out of the denominator,
  // and out of the numerator too, so it never counts what it does not divide.
  side.cutoff = {Quantity{brands_and_generics.millionths - crude_and_kampo_in_numerator.millionths},
                 Quantity{classified.millionths - q.crude_and_kampo.millionths}};

  for (auto& [code, brand] : brands) side.top_brand.push_back(std::move(brand));
  std::sort(side.top_brand.begin(), side.top_brand.end(), [](const BrandUsage& a, const BrandUsage& b) {
    return a.quantity != b.quantity ? a.quantity > b.quantity : a.code < b.code;
  });
  if (side.top_brand.size() > top_brand_count) side.top_brand.resize(top_brand_count);
  return side;
}

std::string pattern_key(int pattern) { return pattern == 2 ? "1" : "0"; }

void check(const ReportRequest& request) {
  if (!is_year_month(request.yymm))
    throw std::invalid_argument("the month must be YYYYMM (six digits, month 01 to 12), not '" +
                                request.yymm + "'");
  if (request.pattern != 1 && request.pattern != 2) throw std::invalid_argument("the pattern must be 1 or 2");
  if (request.months < 1) throw std::invalid_argument("the report needs at least one month");
}

ReportFigures compute_in_transaction(db::Connection& connection, const ReportRequest& request) {
  // Every table first, so a missing or foreign one is named before any work.
  usage_columns(connection, inpatient_usage);
  usage_columns(connection, outpatient_usage);
  drug_list_columns(connection);
  y_list_columns(connection);

  ReportFigures figures;
  figures.yymm = request.yymm;
  figures.pattern = request.pattern;
  const std::vector<std::string> months = months_back(request.yymm, request.months);
  const std::string yymmkbn = pattern_key(request.pattern);
  const std::vector<MonthUsage> inpatient = read_usage(connection, inpatient_usage, yymmkbn, months);
  const std::vector<MonthUsage> outpatient = read_usage(connection, outpatient_usage, yymmkbn, months);
  if (inpatient.front().rows == 0 && outpatient.front().rows == 0) {
    throw ReportError("no drug usage rows for " + request.yymm + ", pattern " +
                      std::to_string(request.pattern) +
                      ": EFn and EFg hold none for it. Load the month first (efload run --yymm " +
                      request.yymm + (request.pattern == 2 ? " --pattern 2" : "") +
                      " with its E and F files and a Y list), which derives them.");
  }

  const YList y_list = read_y_list(connection);
  figures.y_list_date = y_list.date;
  const std::vector<std::string> dates = drug_list_dates(connection);
  std::map<std::string, DrugList> lists;  // read once per date
  for (std::size_t i = 0; i < months.size(); ++i) {
    MonthFigures month;
    month.yymm = months[i];
    const ListChoice choice = list_in_force(dates, months[i]);
    month.drug_list_date = choice.date;
    month.drug_list_fallback = choice.is_fallback;
    const DrugList* list = nullptr;
    if (choice.date) {
      auto found = lists.find(*choice.date);
      if (found == lists.end())
        found = lists.emplace(*choice.date, read_drug_list(connection, *choice.date)).first;
      list = &found->second;
    }
    month.inpatient = side_figures(inpatient[i], y_list, list);
    month.outpatient = side_figures(outpatient[i], y_list, list);
    figures.months.push_back(std::move(month));
  }
  return figures;
}

std::string failure_text(const std::string& database, const db::Error& error) {
  switch (db::kind_of(error)) {
    case db::ErrorKind::locked:
      return "the database " + database +
             " is locked by another program. The EFImport window holds it from its first run until it is "
             "closed: close the window (or wait for the running load to end), then run the report again.";
    case db::ErrorKind::not_a_database: return database + " is not an SQLite database (" + error.what() + ")";
    case db::ErrorKind::unfinished_write:
      return "the database " + database +
             " holds an unfinished write (a hot journal beside it) that a reader may not roll back: run a load "
             "on it once (efload run --yymm ... --db " +
             database + "), then the report again";
    case db::ErrorKind::cannot_open: return "cannot open the database " + database + ": " + error.what();
    default: return "reading the database " + database + ": " + error.what();
  }
}

}  // namespace

std::string_view flag_of(DrugClass drug_class) {
  switch (drug_class) {
    case DrugClass::brand_without_generics: return "1";
    case DrugClass::brand_with_generics: return "2";
    case DrugClass::brand_at_generic_price: return "☆";
    case DrugClass::generic: return "3";
    case DrugClass::generic_at_brand_price: return "★";
    case DrugClass::blank: return "";
  }
  return "";
}

bool is_year_month(std::string_view yymm) {
  if (yymm.size() != 6 || !std::all_of(yymm.begin(), yymm.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const int month = (yymm[4] - '0') * 10 + (yymm[5] - '0');
  return month >= 1 && month <= 12;
}

std::vector<std::string> months_back(const std::string& yymm, int count) {
  int year = std::stoi(yymm.substr(0, 4));
  int month = std::stoi(yymm.substr(4, 2));
  std::vector<std::string> months;
  for (int i = 0; i < count && year > 0; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d", year, month);
    months.emplace_back(text);
    if (--month == 0) {
      month = 12;
      --year;
    }
  }
  return months;
}

ReportFigures compute_figures(db::Connection& connection, const ReportRequest& request) {
  check(request);
  connection.start_transaction();  // one snapshot of every table
  try {
    ReportFigures figures = compute_in_transaction(connection, request);
    connection.commit();
    return figures;
  } catch (...) {
    try {
      connection.rollback();
    } catch (const db::Error&) {
      // the first failure is the one to report
    }
    throw;
  }
}

ReportFigures read_report(const std::string& database, const ReportRequest& request) {
  db::Connection connection(database, db::Access::read_only);
  try {
    connection.open_if_closed();
    return compute_figures(connection, request);
  } catch (const db::Error& error) {
    throw ReportError(failure_text(database, error));
  } catch (const TableError& error) {
    throw ReportError("cannot report from " + database + ": " + error.what());
  } catch (const std::overflow_error& error) {
    throw ReportError(std::string(error.what()) + " (" + database + ")");
  }
}

}  // namespace efi::report
