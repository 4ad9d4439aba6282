// The tables the report reads, and where in them it reads.
//
// The loads insert without naming columns, so each table's columns are fixed
// by position, while only some names are fixed: those the loads' own SQL
// uses (yymm and yymmkbn of EFn and EFg, ymd of kyak and yak, yjcode of yak).
// A database made by another program may call the other columns anything,
// so the report reads the table's column list and addresses those columns by
// position, quoting the names it finds. A table that is missing or has
// another number of columns is refused with a message naming it.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "db/connection.h"

namespace efi::report {

// A table the report cannot read; the text says which and why.
class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the report reads one side's usage (EFn or EFg).
struct UsageLayout {
  std::string_view table;  // EFn or EFg
  int column_count;        // columns the derivation's insert fills
  int rdcode_position;     // 1-based: the F row's receipt code
  int amount_position;     // 1-based: the usage amount (shiyouryou x kaisu)
};
inline constexpr UsageLayout inpatient_usage{"EFn", 14, 11, 14};
inline constexpr UsageLayout outpatient_usage{"EFg", 13, 10, 13};

// The drug list (kyak): code, ingredient, product, class, and the note
// "excluded from the additions' calculation" (bikou4).
struct DrugListLayout {
  std::string_view table = "kyak";
  int column_count = 9;
  int code_position = 2;        // the 12-character price-list code
  int ingredient_position = 3;  // seibunmei
  int product_position = 4;     // hinmei
  int class_position = 5;       // flg
  int excluded_position = 9;    // bikou4: "1" for an excluded item
};

// The Y list (yak): receipt code (yjcode, by name) to price-list code.
struct YListLayout {
  std::string_view table = "yak";
  int column_count = 4;
  int name_position = 3;     // the drug's name
  int yakcode_position = 4;  // the 12-character price-list code
};

// The SQL names of the columns the report reads, each already quoted.
struct UsageColumns {
  std::string table;   // quoted table name
  std::string rdcode;  // quoted column name
  std::string amount;
};
struct DrugListColumns {
  std::string table, code, ingredient, product, drug_class, excluded;
};
struct YListColumns {
  std::string table, name, yakcode;
};

// Each throws TableError for a missing table or one of another column count.
UsageColumns usage_columns(db::Connection& connection, const UsageLayout& layout);
DrugListColumns drug_list_columns(db::Connection& connection, const DrugListLayout& layout = {});
YListColumns y_list_columns(db::Connection& connection, const YListLayout& layout = {});

}  // namespace efi::report
