// The share rules on small databases whose figures are counted by hand.
// Each case fills the tables and states the report month's inpatient side as
// one line: rows | quantity per class | new index | cut-off | data quality.
#include "report/figures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "report/sources.h"
#include "report/tables.h"
#include "report_fixture.h"

namespace efi::report {
namespace {

using test::FixtureDb;
using ::testing::HasSubstr;

// "rows 6 | 1:5 2:10 ☆:7 3:30 ★:3 -:2 excl:0 uncl:0 | new 30/40 75.0% | cut 40/57 70.2% |
//  noE 0 notY 0 ambY 0 dupY 0 notList 0"
std::string summary(const SideFigures& s) {
  const Quantities& q = s.quantity;
  std::string line = "rows " + std::to_string(s.rows) + " |";
  for (DrugClass c : all_drug_classes) {
    const std::string_view flag = flag_of(c);
    line += " " + std::string(flag.empty() ? "-" : flag) + ":" + plain_text(q.of(c));
  }
  line += " excl:" + plain_text(q.excluded) + " uncl:" + plain_text(q.unclassified);
  line += " | new " + plain_text(s.new_index.numerator) + "/" + plain_text(s.new_index.denominator) + " " +
          percent_text(s.new_index);
  line += " | cut " + plain_text(s.cutoff.numerator) + "/" + plain_text(s.cutoff.denominator) + " " +
          percent_text(s.cutoff);
  const Quality& d = s.quality;
  line += " | noE " + std::to_string(d.rows_without_e_match) + " notY " + std::to_string(d.codes_not_in_y) +
          " ambY " + std::to_string(d.codes_ambiguous_in_y) + " dupY " +
          std::to_string(d.codes_duplicated_in_y) + " notList " + std::to_string(d.codes_not_in_list);
  return line;
}

ReportFigures figures_of(FixtureDb& db, int months = 2) {
  db.close();
  return read_report(db.path, {"202110", 1, months});
}

struct ShareCase {
  std::string name;
  std::function<void(FixtureDb&)> fill;
  std::string inpatient;  // summary() of the report month's inpatient side
};

void PrintTo(const ShareCase& c, std::ostream* out) { *out << c.name; }

class Shares : public ::testing::TestWithParam<ShareCase> {};

TEST_P(Shares, InpatientSideOfTheMonthIsTheHandCount) {
  FixtureDb db;
  GetParam().fill(db);
  const ReportFigures figures = figures_of(db);
  ASSERT_FALSE(figures.months.empty());
  EXPECT_EQ(summary(figures.months.front().inpatient), GetParam().inpatient);
}

const ShareCase share_cases[] = {
    {"every_class_once",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "2");
       db.drug("610000002", "1111111F1020", "3");
       db.drug("610000003", "2222222F1011", "1");
       db.drug("610000004", "3333333F1011", "☆");
       db.drug("610000005", "3333333F1020", "★");
       db.drug("610000006", "4444444F1011", "");
       db.inpatient("610000001", "10");
       db.inpatient("610000002", "30");
       db.inpatient("610000003", "5");
       db.inpatient("610000004", "7");
       db.inpatient("610000005", "3");
       db.inpatient("610000006", "2");
     },
     // new index 30 / (10 + 30); cut-off (10 + 30) / (10 + 30 + 5 + 7 + 3 + 2) = 40 / 57 = 70.18 %
     "rows 6 | 1:5 2:10 ☆:7 3:30 ★:3 -:2 excl:0 uncl:0 | new 30/40 75.0% | cut 40/57 70.2% | "
     "noE 0 notY 0 ambY 0 dupY 0 notList 0"},
    {"excluded_items_leave_both_shares",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "2");
       db.drug("610000002", "1111111F1020", "3", "1");
       db.drug("610000003", "1111111F1038", "3");
       db.drug("610000004", "1111111F1046", "2", "1");
       db.inpatient("610000001", "10");
       db.inpatient("610000002", "30");
       db.inpatient("610000003", "20");
       db.inpatient("610000004", "5");
     },
     // new index 20 / (10 + 20) = 66.67 %; cut-off 30 / 30; excluded 30 + 5
     "rows 4 | 1:0 2:10 ☆:0 3:20 ★:0 -:0 excl:35 uncl:0 | new 20/30 66.7% | cut 30/30 100.0% | "
     "noE 0 notY 0 ambY 0 dupY 0 notList 0"},
    {"stars_are_outside_the_new_index",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "☆");
       db.drug("610000002", "1111111F1020", "★");
       db.drug("610000003", "1111111F1038", "3");
       db.inpatient("610000001", "10");
       db.inpatient("610000002", "20");
       db.inpatient("610000003", "5");
     },
     // new index 5 / 5; cut-off 5 / 35 = 14.29 %
     "rows 3 | 1:0 2:0 ☆:10 3:5 ★:20 -:0 excl:0 uncl:0 | new 5/5 100.0% | cut 5/35 14.3% | "
     "noE 0 notY 0 ambY 0 dupY 0 notList 0"},
    {"rows_without_an_amount_count_under_quality_not_as_zero",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "2");
       db.drug("610000002", "1111111F1020", "3");
       db.inpatient("610000001", "10");
       db.inpatient("610000001", "NULL");
       db.inpatient("610000001", "NULL");
       db.inpatient("610000002", "30");
     },
     "rows 4 | 1:0 2:10 ☆:0 3:30 ★:0 -:0 excl:0 uncl:0 | new 30/40 75.0% | cut 40/40 100.0% | "
     "noE 2 notY 0 ambY 0 dupY 0 notList 0"},
    {"duplicate_y_rows_never_multiply",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "2");
       db.y("610000001", "1111111F1011");
       db.y("610000001", "1111111F1011");
       db.drug("610000002", "1111111F1020", "3");
       db.inpatient("610000001", "10");
       db.inpatient("610000002", "10");
     },
     // 10 / (10 + 10), not 10 / (30 + 10)
     "rows 2 | 1:0 2:10 ☆:0 3:10 ★:0 -:0 excl:0 uncl:0 | new 10/20 50.0% | cut 20/20 100.0% | "
     "noE 0 notY 0 ambY 0 dupY 1 notList 0"},
    {"a_receipt_code_of_two_price_codes_is_used_for_neither",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "2");
       db.drug("610000002", "1111111F1020", "3");
       db.y("610000001", "1111111F1020");  // the same receipt code, another price-list code
       db.inpatient("610000001", "10");
       db.inpatient("610000002", "10");
     },
     "rows 2 | 1:0 2:0 ☆:0 3:10 ★:0 -:0 excl:0 uncl:10 | new 10/10 100.0% | cut 10/10 100.0% | "
     "noE 0 notY 0 ambY 1 dupY 0 notList 0"},
    {"codes_absent_from_the_y_list_or_the_drug_list_are_unclassified",
     [](FixtureDb& db) {
       db.drug("610000002", "1111111F1020", "3");
       db.y("610000001", "9999999F9999");  // no such code in the drug list
       db.y("610000007", "9999999F9999");  // another receipt code, the same absent code
       db.y("610000008", "");              // no price-list code at all
       db.inpatient("610000001", "10");
       db.inpatient("610000007", "1");
       db.inpatient("610000008", "2");
       db.inpatient("610000009", "4");  // not in the Y list (derived with an older one)
       db.inpatient("610000002", "10");
     },
     "rows 5 | 1:0 2:0 ☆:0 3:10 ★:0 -:0 excl:0 uncl:17 | new 10/10 100.0% | cut 10/10 100.0% | "
     "noE 0 notY 2 ambY 0 dupY 0 notList 1"},
    {"no_class_two_or_three_gives_no_new_index",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "1");
       db.drug("610000002", "1111111F1020", "");
       db.inpatient("610000001", "4");
       db.inpatient("610000002", "6");
     },
     "rows 2 | 1:4 2:0 ☆:0 3:0 ★:0 -:6 excl:0 uncl:0 | new 0/0 — | cut 0/10 0.0% | "
     "noE 0 notY 0 ambY 0 dupY 0 notList 0"},
    {"crude_drugs_and_kampo_leave_the_cut_off",
     [](FixtureDb& db) {
       db.drug("610000001", "5100133A1011", "");
       db.drug("610000002", "5200013D1011", "");
       db.drug("610000003", "2325003B2029", "2");
       db.drug("610000004", "2325003B2010", "3");
       db.drug("610000005", "3259114S1026", "");  // an enteral nutrient: the list cannot tell, counted
       db.inpatient("610000001", "8");
       db.inpatient("610000002", "2");
       db.inpatient("610000003", "10");
       db.inpatient("610000004", "10");
       db.inpatient("610000005", "5");
     },
     // cut-off 20 / (8 + 2 + 10 + 10 + 5 - 8 - 2) = 20 / 25
     "rows 5 | 1:0 2:10 ☆:0 3:10 ★:0 -:15 excl:0 uncl:0 | new 10/20 50.0% | cut 20/25 80.0% | "
     "noE 0 notY 0 ambY 0 dupY 0 notList 0"},
    {"decimal_amounts_sum_exactly",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "2");
       db.drug("610000002", "1111111F1020", "3");
       // 0.1 x 3 as the derivation multiplies: the double 0.30000000000000004
       for (int i = 0; i < 10; ++i) db.inpatient("610000002", "0.1 * 3");
       db.inpatient("610000002", "'0.15'");  // a text amount, as another program may store it
       db.inpatient("610000001", "1.05 * 3");
       db.inpatient("610000001", "0.000001");
     },
     // generics 3.15 exactly; brands 3.15 + 0.000001; new index 3.15 / 6.300001 = 49.99999 %
     "rows 13 | 1:0 2:3.150001 ☆:0 3:3.15 ★:0 -:0 excl:0 uncl:0 | new 3.15/6.300001 50.0% | "
     "cut 6.300001/6.300001 100.0% | noE 0 notY 0 ambY 0 dupY 0 notList 0"},
    {"a_class_outside_the_six_is_unclassified",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "4");
       db.drug("610000002", "1111111F1020", " 3 ");  // blanks around a flag do not matter
       db.inpatient("610000001", "7");
       db.inpatient("610000002", "3");
     },
     "rows 2 | 1:0 2:0 ☆:0 3:3 ★:0 -:0 excl:0 uncl:7 | new 3/3 100.0% | cut 3/3 100.0% | "
     "noE 0 notY 0 ambY 0 dupY 0 notList 0"},
    {"other_patterns_and_months_stay_out",
     [](FixtureDb& db) {
       db.drug("610000001", "1111111F1011", "2");
       db.drug("610000002", "1111111F1020", "3");
       db.inpatient("610000001", "10");
       db.inpatient("610000002", "10");
       db.inpatient("610000002", "100", "202110", "1");  // pattern 2
       db.inpatient("610000002", "100", "202111");       // the month after
       db.outpatient("610000001", "100");                // the other side
     },
     "rows 2 | 1:0 2:10 ☆:0 3:10 ★:0 -:0 excl:0 uncl:0 | new 10/20 50.0% | cut 20/20 100.0% | "
     "noE 0 notY 0 ambY 0 dupY 0 notList 0"},
};

INSTANTIATE_TEST_SUITE_P(HandCounted, Shares, ::testing::ValuesIn(share_cases),
                         [](const auto& info) { return info.param.name; });

TEST(Shares, EachMonthTakesTheListInForceAndSaysWhenItFellBack) {
  FixtureDb db;
  db.y("610000001", "1111111F1011");
  db.y("610000002", "1111111F1020");
  // The same two drugs in three lists: the class of the first changes.
  db.list("1111111F1011", "2", "", "20210801");
  db.list("1111111F1020", "3", "", "20210801");
  db.list("1111111F1011", "1", "", "20211001");
  db.list("1111111F1020", "3", "", "20211001");
  db.list("1111111F1011", "3", "", "20211101");  // after October: not in force for it
  db.list("1111111F1020", "3", "", "20211101");
  for (const char* month : {"202110", "202109", "202108", "202107"}) {
    db.inpatient("610000001", "10", month);
    db.inpatient("610000002", "30", month);
  }
  const ReportFigures figures = figures_of(db, 4);
  ASSERT_EQ(figures.months.size(), 4u);
  const auto& [october, september, august, july] =
      std::tie(figures.months[0], figures.months[1], figures.months[2], figures.months[3]);
  EXPECT_EQ(october.yymm, "202110");
  EXPECT_EQ(october.drug_list_date, "20211001");
  EXPECT_FALSE(october.drug_list_fallback);
  EXPECT_EQ(percent_text(october.inpatient.new_index), "100.0%");  // class 1 is outside
  EXPECT_EQ(september.drug_list_date, "20210801");
  EXPECT_EQ(percent_text(september.inpatient.new_index), "75.0%");
  EXPECT_EQ(august.drug_list_date, "20210801");  // dated the 1st: in force for its month
  EXPECT_FALSE(august.drug_list_fallback);
  EXPECT_EQ(july.yymm, "202107");
  EXPECT_EQ(july.drug_list_date, "20210801");  // none that old: the oldest
  EXPECT_TRUE(july.drug_list_fallback);
}

TEST(Shares, MonthsWithoutRowsAreNoDataAndTheReportMonthMustHaveRows) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "3");
  db.outpatient("610000001", "4");
  db.inpatient("610000001", "4", "202108");
  const ReportFigures figures = figures_of(db, 3);
  ASSERT_EQ(figures.months.size(), 3u);
  EXPECT_FALSE(figures.months[0].inpatient.has_data());  // only outpatient rows in October
  EXPECT_FALSE(figures.months[0].inpatient.new_index.has_share());
  EXPECT_TRUE(figures.months[0].outpatient.has_data());
  EXPECT_EQ(percent_text(figures.months[0].outpatient.new_index), "100.0%");
  EXPECT_FALSE(figures.months[1].inpatient.has_data());
  EXPECT_FALSE(figures.months[1].outpatient.has_data());
  EXPECT_TRUE(figures.months[2].inpatient.has_data());

  FixtureDb empty;
  empty.drug("610000001", "1111111F1011", "3");
  empty.inpatient("610000001", "4", "202109");
  empty.close();
  try {
    read_report(empty.path, {"202110", 1, 6});
    ADD_FAILURE() << "a month without rows gave a report";
  } catch (const ReportError& e) {
    EXPECT_THAT(e.what(),
                HasSubstr("no drug usage rows for 202110, pattern 1: EFn and EFg hold none for it"));
    EXPECT_THAT(e.what(), HasSubstr("efload run --yymm 202110"));
  }
}

TEST(Shares, TopBrandsAreClassTwoByQuantityThenCodeWithTheirGain) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "2");
  db.drug("610000002", "1111111F1020", "2");
  db.drug("610000003", "1111111F1038", "2", "1");  // excluded: no gain from it
  db.drug("610000004", "1111111F1046", "3");
  db.y("610000005", "1111111F1020");  // a second receipt code of the same drug
  db.inpatient("610000001", "20");
  db.inpatient("610000002", "15");
  db.inpatient("610000005", "5");
  db.inpatient("610000003", "50");
  db.inpatient("610000004", "60");
  const ReportFigures figures = figures_of(db);
  const SideFigures& side = figures.months[0].inpatient;
  ASSERT_EQ(side.top_brand.size(), 2u);
  EXPECT_EQ(side.top_brand[0].code, "1111111F1011");  // 20, ahead of ...F1020 by code
  EXPECT_EQ(side.top_brand[1].code, "1111111F1020");  // 15 + 5
  EXPECT_EQ(plain_text(side.top_brand[1].quantity), "20");
  EXPECT_EQ(side.top_brand[0].product, "product 1111111F1011");
  EXPECT_EQ(side.top_brand[0].ingredient, "ingredient 1111111F1011");
  // 20 of a denominator of 20 + 20 + 60 = 100: 20 points
  EXPECT_EQ(gain_points_text(side.top_brand[0].quantity, side.new_index.denominator), "20.0");
}

TEST(Shares, SidesAreComputedApart) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "2");
  db.drug("610000002", "1111111F1020", "3");
  db.inpatient("610000001", "1");
  db.inpatient("610000002", "3");
  db.outpatient("610000001", "3");
  db.outpatient("610000002", "1");
  db.outpatient("610000002", "NULL");
  const ReportFigures figures = figures_of(db);
  EXPECT_EQ(summary(figures.months[0].outpatient),
            "rows 3 | 1:0 2:3 ☆:0 3:1 ★:0 -:0 excl:0 uncl:0 | new 1/4 25.0% | cut 4/4 100.0% | "
            "noE 1 notY 0 ambY 0 dupY 0 notList 0");
  EXPECT_EQ(percent_text(figures.months[0].inpatient.new_index), "75.0%");
  EXPECT_EQ(figures.pattern, 1);
  EXPECT_EQ(figures.y_list_date, "20250813");
}

TEST(Shares, PatternTwoReadsItsOwnKey) {
  FixtureDb db;
  db.drug("610000001", "1111111F1011", "2");
  db.drug("610000002", "1111111F1020", "3");
  db.inpatient("610000001", "1", "202110", "0");
  db.inpatient("610000002", "9", "202110", "1");
  db.close();
  const ReportFigures figures = read_report(db.path, {"202110", 2, 1});
  EXPECT_EQ(figures.pattern, 2);
  EXPECT_EQ(summary(figures.months[0].inpatient),
            "rows 1 | 1:0 2:0 ☆:0 3:9 ★:0 -:0 excl:0 uncl:0 | new 9/9 100.0% | cut 9/9 100.0% | "
            "noE 0 notY 0 ambY 0 dupY 0 notList 0");
}

TEST(Shares, NewestYListOnlyAsTheDerivationTakesIt) {
  FixtureDb db;
  db.list("1111111F1011", "2");
  db.list("1111111F1020", "3");
  db.y("610000001", "1111111F1011", "20250101");  // an older list maps it to the brand
  db.y("610000001", "1111111F1020", "20250813");  // the newest to the generic
  db.inpatient("610000001", "5");
  const ReportFigures figures = figures_of(db);
  EXPECT_EQ(figures.y_list_date, "20250813");
  EXPECT_EQ(percent_text(figures.months[0].inpatient.new_index), "100.0%");
  EXPECT_EQ(figures.months[0].inpatient.quality.codes_ambiguous_in_y, 0);
}

// Calendar months, across the turn of a year; efload previous-month takes
// the second of two.
TEST(Months, BackAreCalendarMonthsNewestFirst) {
  EXPECT_THAT(months_back("202201", 3), ::testing::ElementsAre("202201", "202112", "202111"));
  EXPECT_THAT(months_back("202103", 2), ::testing::ElementsAre("202103", "202102"));
  EXPECT_THAT(months_back("202112", 1), ::testing::ElementsAre("202112"));
}

}  // namespace
}  // namespace efi::report
