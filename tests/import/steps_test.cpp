// The step table and the statement objects made from it, checked against the
// schema; and the rules for the drug lists' file names.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "import/derivation.h"
#include "import/path_rules.h"
#include "import/steps.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

TEST(Steps, FixedTextsTablesDeletesAndReadingRules) {
  struct Expected {
    std::optional<Source> source;
    const char* status;
    const char* message;
    std::vector<std::string> deletes;  // one per table, in the order the step replaces them
    std::size_t first_line;
    ProgressRule progress;
    char delimiter;
  };
  const Expected expected[] = {
      {Source::en,
       "Eファイル(入院)\u3000\u3000",
       "ENファイル取り込みエラー",
       {"delete from En where yymm = :yymm and yymmkbn = :yymmkbn"},
       0,
       ProgressRule::line_count_minus_one,
       '\t'},
      {Source::fn,
       "Fファイル(入院)\u3000\u3000",
       "FNファイル取り込みエラー",
       {"delete from Fn where yymm = :yymm and yymmkbn = :yymmkbn"},
       0,
       ProgressRule::line_count_minus_one,
       '\t'},
      {Source::eg,
       "Eファイル(外来)\u3000\u3000",
       "EGファイル取り込みエラー",
       {"delete from Eg where yymm = :yymm and yymmkbn = :yymmkbn"},
       0,
       ProgressRule::line_count_minus_one,
       '\t'},
      {Source::fg,
       "Fファイル(外来)\u3000\u3000",
       "FGファイル取り込みエラー",
       {"delete from Fg where yymm = :yymm and yymmkbn = :yymmkbn"},
       0,
       ProgressRule::line_count_minus_one,
       '\t'},
      {Source::etc,
       "ETCファイル(厚労省)  ",
       "ETCファイル(厚労省)取り込みエラー",
       {"delete from kyak where ymd = :ymd"},
       4,
       ProgressRule::line_count,
       ','},
      {Source::y,
       "Yファイル",
       "Yファイル取り込みエラー",
       {"delete from yak where ymd = :ymd"},
       0,
       ProgressRule::line_count,
       ','},
      {std::nullopt,
       "入院、外来データ集計中",
       "EFN、EFGデータ作成失敗",
       {"delete from EFn where yymm = :yymm and yymmkbn = :yymmkbn",
        "delete from EFg where yymm = :yymm and yymmkbn = :yymmkbn"},
       0,
       ProgressRule::line_count,
       '\t'},
  };
  const auto& steps = run_steps();
  ASSERT_EQ(steps.size(), std::size(expected));
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Expected& e = expected[i];
    EXPECT_EQ(steps[i].source, e.source) << i;
    EXPECT_EQ(steps[i].status_text, e.status) << i;
    EXPECT_EQ(steps[i].error_message, e.message) << i;
    std::vector<std::string> deletes;
    for (const TableDef& table : steps[i].tables) deletes.push_back(delete_sql(table, steps[i].key));
    EXPECT_EQ(deletes, e.deletes) << i;
    EXPECT_EQ(steps[i].read.first_line, e.first_line) << i;
    EXPECT_EQ(steps[i].read.progress, e.progress) << i;
    EXPECT_EQ(steps[i].read.delimiter, e.delimiter) << i;
  }
  EXPECT_EQ(&derivation_step(), &steps.back());
  for (std::size_t i = 0; i < source_count; ++i) EXPECT_EQ(&source_steps()[i], &steps[i]);
}

class StepStatements : public RunTest {
 protected:
  std::size_t column_count(const std::string& table) {
    return std::stoul(query("select count(*) from pragma_table_info('" + table + "')").at(0).at(0));
  }
};

TEST_F(StepStatements, InsertsBindKeysThenFieldsInTheTablesColumnOrder) {
  struct Case {
    Source source;
    const char* table;
    std::size_t fields_read;  // a line needs this many fields
  };
  for (const Case& c :
       {Case{Source::en, "En", 25}, Case{Source::fn, "Fn", 19}, Case{Source::eg, "Eg", 25},
        Case{Source::fg, "Fg", 19}, Case{Source::etc, "kyak", 7}, Case{Source::y, "yak", 32}}) {
    const StepDef& step = source_steps()[static_cast<std::size_t>(c.source)];
    ASSERT_EQ(step.tables.size(), 1u) << c.table;
    EXPECT_EQ(step.tables[0].name, c.table);
    const db::Statement& insert = (*statements).*step.tables[0].insert;
    EXPECT_EQ(insert.text(), joined_lines(step.tables[0].insert_lines)) << c.table;

    std::vector<std::string> expected = step.key == KeyKind::year_month
                                            ? std::vector<std::string>{"yymm", "yymmkbn"}
                                            : std::vector<std::string>{"ymd"};
    std::size_t needed = 0;
    std::size_t previous = 0;
    for (const FieldBinding& b : step.read.fields) {
      expected.emplace_back(b.parameter);
      if (&b != &step.read.fields.front()) {
        EXPECT_GT(b.field, previous) << c.table << " " << b.parameter;
      }
      previous = b.field;
      if (!b.is_optional) needed = b.field + 1;
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < insert.param_count(); ++i) {
      names.push_back(insert.param_name(i));
      EXPECT_EQ(insert.param_type(i), db::ParamType::text) << c.table << " " << insert.param_name(i);
    }
    EXPECT_EQ(names, expected) << c.table;
    EXPECT_EQ(names.size(), column_count(c.table)) << c.table;
    EXPECT_EQ(needed, c.fields_read) << c.table;
  }
}

TEST_F(StepStatements, EAndFFieldMapsReadEveryFieldUpToTheLast) {
  for (Source source : {Source::en, Source::fn, Source::eg, Source::fg}) {
    const StepDef& step = source_steps()[static_cast<std::size_t>(source)];
    for (std::size_t i = 0; i < step.read.fields.size(); ++i) EXPECT_EQ(step.read.fields[i].field, i);
  }
}

TEST_F(StepStatements, DerivationAndDeleteStatements) {
  EXPECT_EQ(statements->del.text(), "");
  for (db::Statement* s : {&statements->efn, &statements->efg}) {
    ASSERT_EQ(s->param_count(), 2u);
    EXPECT_EQ(s->param_name(0), "yymm");
    EXPECT_EQ(s->param_name(1), "yymmkbn");
    EXPECT_EQ(s->param_type(1), db::ParamType::text);
  }
  EXPECT_TRUE(statements->efn.text().starts_with("INSERT INTO EFn\n  select\n    fn.yymm\n   ,fn.yymmkbn\n"));
  EXPECT_TRUE(statements->efn.text().ends_with("\n    and fn.rdcode = yak.yjcode"));
  EXPECT_TRUE(
      statements->efg.text().starts_with("INSERT INTO EFg\n  select\n     fg.yymm\n    ,fg.yymmkbn\n"));
  EXPECT_TRUE(statements->efg.text().ends_with("\n    and fg.rdcode = yak.yjcode"));
  const StepDef& derivation = derivation_step();
  ASSERT_EQ(derivation.tables.size(), 2u);
  EXPECT_EQ(derivation.tables[0].name, "EFn");
  EXPECT_EQ(&((*statements).*derivation.tables[0].insert), &statements->efn);
  EXPECT_EQ(derivation.tables[1].name, "EFg");
  EXPECT_EQ(&((*statements).*derivation.tables[1].insert), &statements->efg);
}

TEST(PathRules, InvalidCharactersFailTheCheck) {
  struct Case {
    std::string path;
    bool is_valid;
  };
  for (const Case& c :
       {Case{"C:\\data\\ab20211001.xlsx", true}, Case{"/home/a/y file.csv", true},
        Case{"C:\\data\\*?.xlsx", true}, Case{"\\\\?\\C:\\data\\y.csv", true},
        Case{"\\\\?\\UNC\\server\\share\\y.csv", true}, Case{"C:\\資料\\Ｙファイル.csv", true},
        Case{"C:\\data\\a|b.csv", false}, Case{"C:\\data\\<y>.csv", false}, Case{"C:\\data\\y>.csv", false},
        Case{"C:\\data\\\"y\".csv", false}, Case{"C:\\data\\y\t.csv", false},
        Case{"C:\\data\\y\x1f.csv", false}, Case{std::string("C:\\data\\y\0.csv", 14), false},
        Case{"\\\\?\\C:\\a|b.csv", false}}) {
    EXPECT_EQ(has_valid_path_chars(c.path), c.is_valid) << c.path;
    if (c.is_valid) {
      EXPECT_NO_THROW(check_path_chars(c.path));
    } else {
      try {
        check_path_chars(c.path);
        ADD_FAILURE() << "no error for " << c.path;
      } catch (const InvalidPathError& error) {
        EXPECT_STREQ(error.what(), "パスに無効な文字が含まれています");
      }
    }
  }
}

TEST(PathRules, ListDateIsCharactersThreeToTenOfTheFileName) {
  struct Case {
    const char* path;
    const char* name;
    const char* date;
  };
  for (const Case& c : {Case{"C:\\data\\ab20211001.xlsx", "ab20211001.xlsx", "20211001"},
                        Case{"/srv/lists/ab20211001.xlsx", "ab20211001.xlsx", "20211001"},
                        Case{"C:ab20211001.xlsx", "ab20211001.xlsx", "20211001"},
                        Case{"dir/sub\\ab2021-10-01.xlsx", "ab2021-10-01.xlsx", "2021-10-"},
                        Case{"ab20211001.xlsx", "ab20211001.xlsx", "20211001"},
                        Case{"日本20211001一覧.xlsx", "日本20211001一覧.xlsx", "20211001"},
                        Case{"ab２０２１.xlsx", "ab２０２１.xlsx", "２０２１.xls"}, Case{"abc", "abc", "c"},
                        Case{"ab", "ab", ""}, Case{"C:\\data\\", "", ""}}) {
    EXPECT_EQ(file_name_part(c.path), c.name) << c.path;
    EXPECT_EQ(list_date_from_file_name(c.path), c.date) << c.path;
  }
}

TEST(PathRules, ListDateMustBeEightAsciiDigits) {
  for (const char* date : {"20211001", "00000000"}) EXPECT_TRUE(is_eight_digit_date(date)) << date;
  for (const char* date :
       {"2021100", "202110011", "2021-10-", "1 or 1=1", "２０２１１００１", "", "2021100a"}) {
    EXPECT_FALSE(is_eight_digit_date(date)) << date;
  }
}

}  // namespace
}  // namespace efi::import::testing
