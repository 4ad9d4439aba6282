// The drug usage derivation: EFn and EFg from the F rows whose code is in the
// newest Y list, with the matching E row's jisymd and shiyouryou × kaisu.
#include <gtest/gtest.h>

#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

const std::string derivation_error = "step_error:EFN、EFGデータ作成失敗";

// E and F lines of one act (the six key fields after yymm and yymmkbn).
std::vector<std::string> act(const std::string& scode) {
  return {scode, "ds", "20211001", "20211005", "dk", "j1"};
}

std::string e_record(const std::string& scode, const std::string& kaisu, const std::string& jisymd) {
  auto fields = numbered_fields("e", 25);
  const auto key = act(scode);
  std::copy(key.begin(), key.end(), fields.begin());
  fields[14] = kaisu;
  fields[17] = jisymd;
  return joined(fields, '\t');
}

std::string f_record(const std::string& scode, const std::string& rdcode, const std::string& shiyouryou) {
  auto fields = numbered_fields("f", 19);
  const auto key = act(scode);
  std::copy(key.begin(), key.end(), fields.begin());
  fields[6] = "km";
  fields[8] = rdcode;
  fields[11] = shiyouryou;
  return joined(fields, '\t');
}

std::string y_record(const std::string& yjcode) {
  auto fields = numbered_fields("y", 32);
  fields[2] = yjcode;
  return joined(fields, ',');
}

class Derivation : public RunTest {
 protected:
  // Loads the same E and F lines as inpatient and outpatient files, and the
  // Y list when one is given.
  RunOutcome load(const std::vector<std::string>& e, const std::vector<std::string>& f,
                  const std::vector<std::string>& y) {
    only(Source::en, file("e.txt", lines_of(e)));
    use(Source::eg, path("e.txt"));
    use(Source::fn, file("f.txt", lines_of(f)));
    use(Source::fg, path("f.txt"));
    if (!y.empty()) use(Source::y, file("y.csv", lines_of(y)));
    return run();
  }
};

TEST_F(Derivation, JoinsTheMatchingERowAndMultipliesItsKaisu) {
  EXPECT_EQ(load({e_record("half", "3", "20211002"), e_record("whole", "2", "20211003"),
                  e_record("empty", "", "20211004")},
                 {f_record("half", "R1", "0.5"), f_record("whole", "R1", "3"), f_record("empty", "R1", "2"),
                  f_record("lonely", "R1", "2"), f_record("notlisted", "R9", "2")},
                 {y_record("R1")}),
            RunOutcome::completed);

  const std::vector<Row> expected = {{"empty", "20211004", "0", "integer"},
                                     {"half", "20211002", "1.5", "real"},
                                     {"lonely", "NULL", "NULL", "null"},
                                     {"whole", "20211003", "6", "integer"}};
  for (const char* table : {"EFn", "EFg"}) {
    EXPECT_EQ(query(std::string("select scode, jisymd, shiyouryou_kaisu, typeof(shiyouryou_kaisu) from ") +
                    table + " order by scode"),
              expected)
        << table;
  }
  // Every column in its place; the outpatient table has no kmno.
  EXPECT_EQ(query("select * from EFn where scode = 'whole'"),
            (std::vector<Row>{{"202110", "0", "whole", "ds", "20211001", "20211005", "dk", "j1", "km", "f7",
                               "R1", "f10", "20211003", "6"}}));
  EXPECT_EQ(query("select * from EFg where scode = 'whole'"),
            (std::vector<Row>{{"202110", "0", "whole", "ds", "20211001", "20211005", "dk", "j1", "f7", "R1",
                               "f10", "20211003", "6"}}));
}

TEST_F(Derivation, UsesTheNewestYListOnlyAndKeepsItsDuplicates) {
  today = "20250101";
  load({e_record("a", "1", "d")}, {f_record("a", "OLD", "1"), f_record("a", "BOTH", "1")},
       {y_record("OLD"), y_record("BOTH")});
  today = "20250201";
  load({e_record("a", "1", "d")}, {f_record("a", "OLD", "1"), f_record("a", "BOTH", "1")},
       {y_record("BOTH"), y_record("BOTH")});

  for (const char* table : {"EFn", "EFg"}) {
    EXPECT_EQ(query(std::string("select rdcode from ") + table), (std::vector<Row>{{"BOTH"}, {"BOTH"}}))
        << table;
  }
}

TEST_F(Derivation, EmptyYListLeavesTheKeyWithoutRows) {
  exec(
      "insert into EFn (yymm, yymmkbn, rdcode) values ('202110', '0', 'stale'), ('202110', '1', 'kept');"
      "insert into EFg (yymm, yymmkbn, rdcode) values ('202110', '0', 'stale'), ('202109', '0', 'kept');");
  EXPECT_EQ(load({e_record("a", "1", "d")}, {f_record("a", "R1", "1")}, {}), RunOutcome::completed);
  EXPECT_EQ(query("select rdcode from EFn"), (std::vector<Row>{{"kept"}}));
  EXPECT_EQ(query("select rdcode from EFg"), (std::vector<Row>{{"kept"}}));
}

TEST_F(Derivation, FailingOutpatientPartLeavesTheInpatientRowsToo) {
  for (const char* breakage :
       {"DROP TABLE EFg",
        "DROP TABLE EFg; CREATE TABLE EFg (yymm, yymmkbn, scode, dscode, birthday, gairaiymd, dkbn, jno,"
        " kmno, tencode, rdcode, meisyou, jisymd, shiyouryou_kaisu)"}) {
    exec("DROP TABLE IF EXISTS EFg;");
    db::apply_schema(database);
    exec("delete from EFn; delete from yak;");
    load({e_record("a", "1", "d")}, {f_record("first", "R1", "1")}, {y_record("R1")});
    ASSERT_EQ(query("select scode from EFn"), (std::vector<Row>{{"first"}}));
    exec(breakage);

    EXPECT_EQ(load({e_record("a", "1", "d")}, {f_record("second", "R1", "1"), f_record("third", "R1", "1")},
                   {y_record("R1")}),
              RunOutcome::completed_with_errors)
        << breakage;

    EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{derivation_error}) << breakage;
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_NE(host.failures[0].cause.find("EFg"), std::string::npos) << host.failures[0].cause;
    EXPECT_EQ(query("select scode from EFn"), (std::vector<Row>{{"first"}})) << breakage;
    EXPECT_EQ(query("select count(*) from Fn"), (std::vector<Row>{{"2"}})) << breakage;
    EXPECT_EQ(host.events.back(), "completion:データ取り込みが終了しました。|EFファイル取り込み");
  }
}

}  // namespace
}  // namespace efi::import::testing
