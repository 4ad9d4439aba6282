#include "import/steps.h"

#include "import/derivation.h"

namespace efi::import {

namespace {

// Insert texts, line by line. They name no columns: the values fill the
// table's columns in statement order, keys first.

constexpr std::string_view en_insert[] = {
    "insert into En",
    "values",
    "(:yymm,:yymmkbn,:scode,:dscode,:taiymd,:nyuymd,:dkbn,:jno,:tencode,:rdcode,:kaisyaku,:meisyou,:tensu,:yakuzairyou,",
    " :zairyouryou,:yenten,:kaisu,:hno,:rdscode,:jisymd,:rdsnk,:snk,:drcode,:byotocode,:byotokbn,:ngkbn,:stype)",
};

constexpr std::string_view eg_insert[] = {
    "insert into Eg",
    "values",
    "(:yymm,:yymmkbn,:scode,:dscode,:birthday,:gairaiymd,:dkbn,:jno,:tencode,:rdcode,:kaisyaku,:meisyou,:tensu,:yakuzairyou,:zairyouryou,",
    " :yenten,:kaisu,:hno,:rdscode,:jisymd,:rdsnk,:snk,:drcode,:byotocode,:byotokbn,:ngkbn,:stype)",
};

constexpr std::string_view fn_insert[] = {
    "insert into Fn",
    "values",
    "(:yymm, :yymmkbn, :scode, :dscode, :taiymd, :nyuymd, :dkbn, :jno, :kmno, :tencode, :rdcode, :kaisyaku, :meisyou, :shiyouryou, :tani,",
    " :kmtensu, :kmyakuzairyou, :kmzairyoryou, :yenten, :jistensu, :kmkjyouhou)",
};

constexpr std::string_view fg_insert[] = {
    "insert into Fg",
    "values",
    "(:yymm, :yymmkbn, :scode, :dscode, :birthday, :gairaiymd, :dkbn, :jno, :kmno, :tencode, :rdcode, :kaisyaku, :meisyou,",
    " :shiyouryou, :tani, :kmtensu, :kmyakuzairyou, :kmzairyouryou, :yenten, :jistensu, :kmkjyouhou)",
};

constexpr std::string_view etc_insert[] = {
    "insert into kyak",
    "values",
    "(:ymd, :code, :seibunmei, :hinmei, :flg, :bikou1, :bikou2, :bikou3,:bikou4)",
};

constexpr std::string_view y_insert[] = {
    "insert into yak",
    "values",
    "(:ymd,:yjcode, :name, :yakcode)",
};

// Field maps: every parameter after the keys, in field index order.

constexpr FieldBinding en_fields[] = {
    {"scode", 0},   {"dscode", 1},       {"taiymd", 2},       {"nyuymd", 3},   {"dkbn", 4},
    {"jno", 5},     {"tencode", 6},      {"rdcode", 7},       {"kaisyaku", 8}, {"meisyou", 9},
    {"tensu", 10},  {"yakuzairyou", 11}, {"zairyouryou", 12}, {"yenten", 13},  {"kaisu", 14},
    {"hno", 15},    {"rdscode", 16},     {"jisymd", 17},      {"rdsnk", 18},   {"snk", 19},
    {"drcode", 20}, {"byotocode", 21},   {"byotokbn", 22},    {"ngkbn", 23},   {"stype", 24},
};

constexpr FieldBinding eg_fields[] = {
    {"scode", 0},   {"dscode", 1},       {"birthday", 2},     {"gairaiymd", 3}, {"dkbn", 4},
    {"jno", 5},     {"tencode", 6},      {"rdcode", 7},       {"kaisyaku", 8},  {"meisyou", 9},
    {"tensu", 10},  {"yakuzairyou", 11}, {"zairyouryou", 12}, {"yenten", 13},   {"kaisu", 14},
    {"hno", 15},    {"rdscode", 16},     {"jisymd", 17},      {"rdsnk", 18},    {"snk", 19},
    {"drcode", 20}, {"byotocode", 21},   {"byotokbn", 22},    {"ngkbn", 23},    {"stype", 24},
};

constexpr FieldBinding fn_fields[] = {
    {"scode", 0},         {"dscode", 1},      {"taiymd", 2},    {"nyuymd", 3},      {"dkbn", 4},
    {"jno", 5},           {"kmno", 6},        {"tencode", 7},   {"rdcode", 8},      {"kaisyaku", 9},
    {"meisyou", 10},      {"shiyouryou", 11}, {"tani", 12},     {"kmtensu", 13},    {"kmyakuzairyou", 14},
    {"kmzairyoryou", 15}, {"yenten", 16},     {"jistensu", 17}, {"kmkjyouhou", 18},
};

// As Fn, but with the outpatient names of fields 2 and 3 and the spelling
// "kmzairyouryou" of field 15 that FDQ_FG's text uses.
constexpr FieldBinding fg_fields[] = {
    {"scode", 0},   {"dscode", 1},    {"birthday", 2},       {"gairaiymd", 3},
    {"dkbn", 4},    {"jno", 5},       {"kmno", 6},           {"tencode", 7},
    {"rdcode", 8},  {"kaisyaku", 9},  {"meisyou", 10},       {"shiyouryou", 11},
    {"tani", 12},   {"kmtensu", 13},  {"kmyakuzairyou", 14}, {"kmzairyouryou", 15},
    {"yenten", 16}, {"jistensu", 17}, {"kmkjyouhou", 18},
};

// A line needs fields 0 to 6; field 7 may be missing and is then empty.
constexpr FieldBinding etc_fields[] = {
    {"code", 0},   {"seibunmei", 1}, {"hinmei", 2}, {"flg", 3},
    {"bikou1", 4}, {"bikou2", 5},    {"bikou3", 6}, {"bikou4", 7, true},
};

// A line needs at least 32 fields.
constexpr FieldBinding y_fields[] = {
    {"yjcode", 2},
    {"name", 4},
    {"yakcode", 31},
};

constexpr TableDef en_table[] = {{"En", &Statements::en, en_insert}};
constexpr TableDef fn_table[] = {{"Fn", &Statements::fn, fn_insert}};
constexpr TableDef eg_table[] = {{"Eg", &Statements::eg, eg_insert}};
constexpr TableDef fg_table[] = {{"Fg", &Statements::fg, fg_insert}};
constexpr TableDef etc_table[] = {{"kyak", &Statements::etc, etc_insert}};
constexpr TableDef y_table[] = {{"yak", &Statements::y, y_insert}};

// Status texts: the E and F ones end in two ideographic spaces (U+3000), the
// ETC one in two ASCII blanks, the Y one in nothing.
const std::array<StepDef, step_count>& make_steps() {
  // The derivation's statement texts live with its frame (derivation.cpp).
  static const TableDef derived_tables[] = {
      {"EFn", &Statements::efn, efn_insert_lines()},
      {"EFg", &Statements::efg, efg_insert_lines()},
  };
  static const std::array<StepDef, step_count> steps = {{
      {.source = Source::en,
       .status_text = "Eファイル(入院)\u3000\u3000",
       .error_message = "ENファイル取り込みエラー",
       .key = KeyKind::year_month,
       .tables = en_table,
       .read = {.fields = en_fields, .progress = ProgressRule::line_count_minus_one, .delimiter = '\t'}},
      {.source = Source::fn,
       .status_text = "Fファイル(入院)\u3000\u3000",
       .error_message = "FNファイル取り込みエラー",
       .key = KeyKind::year_month,
       .tables = fn_table,
       .read = {.fields = fn_fields, .progress = ProgressRule::line_count_minus_one, .delimiter = '\t'}},
      {.source = Source::eg,
       .status_text = "Eファイル(外来)\u3000\u3000",
       .error_message = "EGファイル取り込みエラー",
       .key = KeyKind::year_month,
       .tables = eg_table,
       .read = {.fields = eg_fields, .progress = ProgressRule::line_count_minus_one, .delimiter = '\t'}},
      {.source = Source::fg,
       .status_text = "Fファイル(外来)\u3000\u3000",
       .error_message = "FGファイル取り込みエラー",
       .key = KeyKind::year_month,
       .tables = fg_table,
       .read = {.fields = fg_fields, .progress = ProgressRule::line_count_minus_one, .delimiter = '\t'}},
      // The list date is bound, never pasted into the SQL: a file name is not
      // trusted to be a number. The first four lines of the converted sheet
      // are headings.
      {.source = Source::etc,
       .status_text = "ETCファイル(厚労省)  ",
       .error_message = "ETCファイル(厚労省)取り込みエラー",
       .key = KeyKind::file_name_date,
       .tables = etc_table,
       .read = {.fields = etc_fields,
                .first_line = 4,
                .progress = ProgressRule::line_count,
                .delimiter = ',',
                .converts_workbook = true}},
      {.source = Source::y,
       .status_text = "Yファイル",
       .error_message = "Yファイル取り込みエラー",
       .key = KeyKind::today,
       .tables = y_table,
       .read = {.fields = y_fields, .progress = ProgressRule::line_count, .delimiter = ','}},
      // Always runs, whatever the sources did; reads the key's rows of Fn,
      // En, Fg and Eg and the newest Y list.
      {.source = std::nullopt,
       .status_text = "入院、外来データ集計中",
       .error_message = "EFN、EFGデータ作成失敗",
       .key = KeyKind::year_month,
       .tables = derived_tables,
       .read = {}},
  }};
  return steps;
}

}  // namespace

const std::array<StepDef, step_count>& run_steps() { return make_steps(); }

std::span<const StepDef, source_count> source_steps() {
  return std::span<const StepDef, step_count>(make_steps()).first<source_count>();
}

const StepDef& derivation_step() { return make_steps().back(); }

std::string_view key_condition(KeyKind kind) {
  return kind == KeyKind::year_month ? "yymm = :yymm and yymmkbn = :yymmkbn" : "ymd = :ymd";
}

std::string delete_sql(const TableDef& table, KeyKind kind) {
  return "delete from " + std::string(table.name) + " where " + std::string(key_condition(kind));
}

std::string joined_lines(std::span<const std::string_view> lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text;
}

}  // namespace efi::import
