#include "import/steps.h"

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
    {"scode", 0},       {"dscode", 1},      {"taiymd", 2},       {"nyuymd", 3},
    {"dkbn", 4},        {"jno", 5},         {"tencode", 6},      {"rdcode", 7},
    {"kaisyaku", 8},    {"meisyou", 9},     {"tensu", 10},       {"yakuzairyou", 11},
    {"zairyouryou", 12}, {"yenten", 13},    {"kaisu", 14},       {"hno", 15},
    {"rdscode", 16},    {"jisymd", 17},     {"rdsnk", 18},       {"snk", 19},
    {"drcode", 20},     {"byotocode", 21},  {"byotokbn", 22},    {"ngkbn", 23},
    {"stype", 24},
};

constexpr FieldBinding eg_fields[] = {
    {"scode", 0},       {"dscode", 1},      {"birthday", 2},     {"gairaiymd", 3},
    {"dkbn", 4},        {"jno", 5},         {"tencode", 6},      {"rdcode", 7},
    {"kaisyaku", 8},    {"meisyou", 9},     {"tensu", 10},       {"yakuzairyou", 11},
    {"zairyouryou", 12}, {"yenten", 13},    {"kaisu", 14},       {"hno", 15},
    {"rdscode", 16},    {"jisymd", 17},     {"rdsnk", 18},       {"snk", 19},
    {"drcode", 20},     {"byotocode", 21},  {"byotokbn", 22},    {"ngkbn", 23},
    {"stype", 24},
};

constexpr FieldBinding fn_fields[] = {
    {"scode", 0},        {"dscode", 1},          {"taiymd", 2},        {"nyuymd", 3},
    {"dkbn", 4},         {"jno", 5},             {"kmno", 6},          {"tencode", 7},
    {"rdcode", 8},       {"kaisyaku", 9},        {"meisyou", 10},      {"shiyouryou", 11},
    {"tani", 12},        {"kmtensu", 13},        {"kmyakuzairyou", 14}, {"kmzairyoryou", 15},
    {"yenten", 16},      {"jistensu", 17},       {"kmkjyouhou", 18},
};

// As Fn, but with the outpatient names of fields 2 and 3 and the spelling
// "kmzairyouryou" of field 15 that FDQ_FG's text uses.
constexpr FieldBinding fg_fields[] = {
    {"scode", 0},        {"dscode", 1},          {"birthday", 2},      {"gairaiymd", 3},
    {"dkbn", 4},         {"jno", 5},             {"kmno", 6},          {"tencode", 7},
    {"rdcode", 8},       {"kaisyaku", 9},        {"meisyou", 10},      {"shiyouryou", 11},
    {"tani", 12},        {"kmtensu", 13},        {"kmyakuzairyou", 14}, {"kmzairyouryou", 15},
    {"yenten", 16},      {"jistensu", 17},       {"kmkjyouhou", 18},
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

// Status texts: the E and F ones end in two ideographic spaces (U+3000), the
// ETC one in two ASCII blanks, the Y one in nothing.
const std::array<StepDef, source_count> steps = {{
    {Source::en, "Eファイル(入院)\u3000\u3000",
     "delete from En where yymm = :yymm and yymmkbn = :yymmkbn", &Statements::en, en_insert,
     en_fields, "ENファイル取り込みエラー", 0, ProgressRule::line_count_minus_one, '\t',
     KeyKind::year_month, false},
    {Source::fn, "Fファイル(入院)\u3000\u3000",
     "delete from Fn where yymm = :yymm and yymmkbn = :yymmkbn", &Statements::fn, fn_insert,
     fn_fields, "FNファイル取り込みエラー", 0, ProgressRule::line_count_minus_one, '\t',
     KeyKind::year_month, false},
    {Source::eg, "Eファイル(外来)\u3000\u3000",
     "delete from Eg where yymm = :yymm and yymmkbn = :yymmkbn", &Statements::eg, eg_insert,
     eg_fields, "EGファイル取り込みエラー", 0, ProgressRule::line_count_minus_one, '\t',
     KeyKind::year_month, false},
    {Source::fg, "Fファイル(外来)\u3000\u3000",
     "delete from Fg where yymm = :yymm and yymmkbn = :yymmkbn", &Statements::fg, fg_insert,
     fg_fields, "FGファイル取り込みエラー", 0, ProgressRule::line_count_minus_one, '\t',
     KeyKind::year_month, false},
    // The list date is bound, never pasted into the SQL: a file name is not
    // trusted to be a number.
    {Source::etc, "ETCファイル(厚労省)  ", "delete from kyak where ymd = :ymd", &Statements::etc,
     etc_insert, etc_fields, "ETCファイル(厚労省)取り込みエラー", 4, ProgressRule::line_count, ',',
     KeyKind::file_name_date, true},
    {Source::y, "Yファイル", "delete from yak where ymd = :ymd", &Statements::y, y_insert,
     y_fields, "Yファイル取り込みエラー", 0, ProgressRule::line_count, ',', KeyKind::today,
     false},
}};

}  // namespace

const std::array<StepDef, source_count>& source_steps() { return steps; }

std::string joined_lines(std::span<const std::string_view> lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text;
}

}  // namespace efi::import
