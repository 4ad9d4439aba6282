// Reading the Y list, the drug lists and the usage rows through the columns
// the table layouts name.
#include "report/sources.h"

#include <algorithm>
#include <limits>

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
  db::Query query(connection, "SELECT " + c.code + ", " + c.drug_class + ", " + c.excluded + ", " +
                                  c.ingredient + ", " + c.product + " FROM " + c.table + " WHERE ymd = ?1");
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

namespace {

// The rowids from the first to the last usage row of the months.
struct RowidSpan {
  std::int64_t first = 0;  // smallest rowid of a row of the months
  std::int64_t last = 0;   // largest
  bool is_empty = false;   // the months have no rows at all
};

// The span from an index that leads with yymm (min and max of the rowid
// under an equality on the index's columns are one look-up each); nullopt
// without such an index, or for a table without rowids. `table_name` as the
// layout names it, `table` quoted for the SQL text.
std::optional<RowidSpan> rowid_span(db::Connection& connection, std::string_view table_name,
                                    const std::string& table, std::string_view yymmkbn,
                                    const std::vector<std::string>& months) {
  db::Query indexes(connection,
                    "SELECT 1 FROM pragma_index_list(?1) AS l, pragma_index_info(l.name) AS i "
                    "WHERE i.seqno = 0 AND i.name = 'yymm' COLLATE NOCASE");
  indexes.bind(1, table_name);
  if (!indexes.step()) return std::nullopt;
  indexes.reset();
  RowidSpan span{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min(), true};
  try {
    db::Query ends(connection, "SELECT (SELECT min(rowid) FROM " + table +
                                   " WHERE yymm = ?1 AND yymmkbn = ?2), " + "(SELECT max(rowid) FROM " +
                                   table + " WHERE yymm = ?1 AND yymmkbn = ?2)");
    for (const std::string& month : months) {
      ends.bind(1, month);
      ends.bind(2, yymmkbn);
      if (ends.step() && !ends.is_null(0)) {
        span.first = std::min(span.first, ends.int64(0));
        span.last = std::max(span.last, ends.int64(1));
        span.is_empty = false;
      }
      ends.reset();
    }
  } catch (const db::Error&) {
    return std::nullopt;  // a table without rowids: the plain way
  }
  return span;
}

}  // namespace

std::vector<MonthUsage> read_usage(db::Connection& connection, const UsageLayout& layout,
                                   std::string_view yymmkbn, const std::vector<std::string>& months) {
  const UsageColumns c = usage_columns(connection, layout);
  std::vector<MonthUsage> usage(months.size());
  if (months.empty()) return usage;
  std::string key = " yymmkbn = ?1 AND yymm IN (";
  for (std::size_t i = 0; i < months.size(); ++i) key += (i ? ", ?" : "?") + std::to_string(i + 2);
  key += ")";
  // One pass for all months. Through the key index every row would cost a
  // seek into the table; the derivation inserts a month's rows in one go, so
  // they lie together, and reading the rowid span of the months in table
  // order is about twice as fast. The span comes from the index; without one
  // (a database made elsewhere) the table is scanned once.
  const std::optional<RowidSpan> span = rowid_span(connection, layout.table, c.table, yymmkbn, months);
  if (span && span->is_empty) return usage;
  std::string sql = "SELECT yymm, " + c.rdcode + ", " + c.amount + " FROM " + c.table;
  sql += span ? " NOT INDEXED WHERE rowid BETWEEN " + std::to_string(span->first) + " AND " +
                    std::to_string(span->last) + " AND" + key
              : " WHERE" + key;
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
