// Column lists of the report's tables, and the quoted names at the positions
// it reads.
#include "report/tables.h"

#include <vector>

#include "db/query.h"

namespace efi::report {
namespace {

// The column names of `table`, checked against the count its loader fills.
std::vector<std::string> checked_columns(db::Connection& connection, std::string_view table, int count) {
  std::vector<std::string> names = db::table_columns(connection, table);
  if (names.empty()) {
    throw TableError("the table " + std::string(table) +
                     " is missing (a database made by efload init holds all eight tables)");
  }
  if (names.size() != static_cast<std::size_t>(count)) {
    throw TableError("the table " + std::string(table) + " has " + std::to_string(names.size()) +
                     " columns where the loads fill " + std::to_string(count) +
                     ", so its columns cannot be told apart");
  }
  return names;
}

std::string at(const std::vector<std::string>& names, int position) {
  return db::quoted_identifier(names[static_cast<std::size_t>(position - 1)]);
}

}  // namespace

UsageColumns usage_columns(db::Connection& connection, const UsageLayout& layout) {
  const auto names = checked_columns(connection, layout.table, layout.column_count);
  return {db::quoted_identifier(layout.table), at(names, layout.rdcode_position),
          at(names, layout.amount_position)};
}

DrugListColumns drug_list_columns(db::Connection& connection, const DrugListLayout& layout) {
  const auto names = checked_columns(connection, layout.table, layout.column_count);
  return {db::quoted_identifier(layout.table),   at(names, layout.code_position),
          at(names, layout.ingredient_position), at(names, layout.product_position),
          at(names, layout.class_position),      at(names, layout.excluded_position)};
}

YListColumns y_list_columns(db::Connection& connection, const YListLayout& layout) {
  const auto names = checked_columns(connection, layout.table, layout.column_count);
  return {db::quoted_identifier(layout.table), at(names, layout.name_position),
          at(names, layout.yakcode_position)};
}

}  // namespace efi::report
