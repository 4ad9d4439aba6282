// What the report reads, held in memory: the newest Y list, the drug lists
// by date, and each month's usage summed per receipt code.
//
// Usage rows are many (a hospital month has about a million); they are
// streamed once and folded into one small record per receipt code, so memory
// stays with the number of distinct drugs. The lists are read whole: a few
// ten thousand rows each.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/connection.h"
#include "report/quantity.h"
#include "report/tables.h"

namespace efi::report {

// Hashing that finds std::string keys by string_view, without a copy per row.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <typename Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// One receipt code of the newest Y list.
struct YEntry {
  std::vector<std::string> price_codes;  // the distinct non-empty price-list codes, in list order
  std::int64_t rows = 0;                 // rows of the list for this receipt code
  std::string name;                      // the name on its first row
  bool maps_to_one() const { return price_codes.size() == 1; }
};

// The rows of yak with the greatest ymd, as the derivation takes them.
struct YList {
  std::optional<std::string> date;  // the greatest ymd; nullopt when yak is empty
  TextMap<YEntry> codes;            // receipt code -> its entry
};
YList read_y_list(db::Connection& connection);

// One price-list code of a drug list.
struct DrugEntry {
  std::string flag;             // the class as stored (flg), blanks around it removed
  bool is_excluded = false;     // bikou4 is "1"
  std::string ingredient;       // seibunmei
  std::string product;          // hinmei
  bool is_conflicting = false;  // several rows of the code disagree on class or exclusion
};

// The kyak rows of one list date.
struct DrugList {
  std::string date;          // ymd
  TextMap<DrugEntry> codes;  // price-list code -> its entry
};
// The distinct list dates of kyak, ascending as text.
std::vector<std::string> drug_list_dates(db::Connection& connection);
DrugList read_drug_list(db::Connection& connection, const std::string& date);

// One receipt code's usage in one month on one side.
struct CodeUsage {
  std::int64_t rows = 0;                 // usage rows
  std::int64_t rows_without_amount = 0;  // amount NULL: no matching E row
  std::int64_t rows_unreadable = 0;      // amount that is no number
  Quantity quantity;                     // sum of the readable amounts
};

// One month's usage rows on one side.
struct MonthUsage {
  std::int64_t rows = 0;     // every usage row of the key
  TextMap<CodeUsage> codes;  // receipt code -> its usage
};

// The usage of `months` (yymm texts) under pattern key `yymmkbn` ("0" or
// "1"), one MonthUsage per month in the same order; one pass over the table.
std::vector<MonthUsage> read_usage(db::Connection& connection, const UsageLayout& layout,
                                   std::string_view yymmkbn, const std::vector<std::string>& months);

}  // namespace efi::report
