// Reading the Y list, the drug lists and the usage rows through the columns
// the table layouts name.
#include "report/sources.h"

#include <algorithm>

#include "db/query.h"

namespace efi::report {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  return text;
}

}  // namespace

YList read_y_list(db::Connection& connection) {
  const YListColumns c = y_list_columns(connection);
  YList list;
  {
    db::Query newest(connection, "SELECT max(ymd) FROM " + c.table);
    if (newest.step() && !newest.is_null(0)) list.date = std::string(newest.text(0));
  }
  if (!list.date) return list;
  // The same rows the derivation joins: ymd equal to the greatest ymd.
  db::Query rows(connection, "SELECT yjcode, " + c.yakcode + ", " + c.name + " FROM " + c.table +
                                 " WHERE ymd = (SELECT max(ymd) FROM " + c.table + ")");
  while (rows.step()) {
    YEntry& entry = list.codes[std::string(rows.text(0))];
    if (entry.rows++ == 0) entry.name = rows.text(2);
    const std::string_view price_code = trimmed(rows.text(1));
    if (!price_code.empty() &&
        std::find(entry.price_codes.begin(), entry.price_codes.end(), price_code) == entry.price_codes.end())
      entry.price_codes.emplace_back(price_code);
  }
  return list;
}

std::vector<std::string> drug_list_dates(db::Connection& connection) {
  const DrugListColumns c = drug_list_columns(connection);
  db::Query query(connection, "SELECT DISTINCT ymd FROM " + c.table + " WHERE ymd IS NOT NULL");
  std::vector<std::string> dates;
  while (query.step()) dates.emplace_back(query.text(0));
  // As text, the way the list in force is chosen (ymd <= yymm || '31').
  std::sort(dates.begin(), dates.end());
  dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
  return dates;
}

DrugList read_drug_list(db::Connection& connection, const std::string& date) {
  const DrugListColumns c = drug_list_columns(connection);
  db::Query query(connection, "SELECT " + c.code + ", " + c.drug_class + ", " + c.excluded + ", " + c.ingredient +
                                  ", " + c.product + " FROM " + c.table + " WHERE ymd = ?1");
  query.bind(1, date);
  DrugList list{date, {}};
  while (query.step()) {
    const std::string_view code = trimmed(query.text(0));
    const std::string_view flag = trimmed(query.text(1));
    const bool is_excluded = trimmed(query.text(2)) == "1";
    auto [it, is_new] = list.codes.try_emplace(std::string(code));
    DrugEntry& entry = it->second;
    if (is_new) {
      entry.flag = flag;
      entry.is_excluded = is_excluded;
      entry.ingredient = query.text(3);
      entry.product = query.text(4);
    } else if (entry.flag != flag || entry.is_excluded != is_excluded) {
      entry.is_conflicting = true;
    }
  }
  return list;
}

std::vector<MonthUsage> read_usage(db::Connection& connection, const UsageLayout& layout,
                                   std::string_view yymmkbn, const std::vector<std::string>& months) {
  const UsageColumns c = usage_columns(connection, layout);
  std::vector<MonthUsage> usage(months.size());
  if (months.empty()) return usage;
  // One pass for all months: with the key index it is a range per month,
  // without one (a database made elsewhere) a single scan of the table.
  std::string sql = "SELECT yymm, " + c.rdcode + ", " + c.amount + " FROM " + c.table +
                    " WHERE yymmkbn = ?1 AND yymm IN (";
  for (std::size_t i = 0; i < months.size(); ++i) sql += (i ? ", ?" : "?") + std::to_string(i + 2);
  sql += ")";
  db::Query query(connection, sql);
  query.bind(1, yymmkbn);
  for (std::size_t i = 0; i < months.size(); ++i) query.bind(static_cast<int>(i + 2), months[i]);

  std::size_t month = 0;  // rows come in runs of one month; try the last one first
  while (query.step()) {
    const std::string_view yymm = query.text(0);
    if (months[month] != yymm) {
      const auto found = std::find(months.begin(), months.end(), yymm);
      if (found == months.end()) continue;  // an equal number stored otherwise (202110 vs 202110.0)
      month = static_cast<std::size_t>(found - months.begin());
    }
    MonthUsage& m = usage[month];
    ++m.rows;
    const std::string_view code = query.text(1);
    auto it = m.codes.find(code);
    if (it == m.codes.end()) it = m.codes.emplace(std::string(code), CodeUsage{}).first;
    CodeUsage& u = it->second;
    ++u.rows;
    std::optional<Quantity> amount;
    switch (query.column_type(2)) {
      case db::ColumnType::null: ++u.rows_without_amount; continue;
      case db::ColumnType::integer: amount = quantity_from_integer(query.int64(2)); break;
      case db::ColumnType::real: amount = quantity_from_real(query.real(2)); break;
      case db::ColumnType::text: amount = quantity_from_text(query.text(2)); break;
      case db::ColumnType::blob: break;
    }
    if (amount) {
      u.quantity += *amount;
    } else {
      ++u.rows_unreadable;
    }
  }
  return usage;
}

}  // namespace efi::report
