// The E and F file steps: what a line of each field count stores, quoting,
// header lines, and the year-month and pattern keys.
#include <gtest/gtest.h>

#include "import/run.h"
#include "run_fixture.h"

namespace efi::import::testing {
namespace {

struct TableOf {
  Source source;
  const char* table;
};
constexpr TableOf tables[] = {{Source::en, "En"}, {Source::fn, "Fn"}, {Source::eg, "Eg"}, {Source::fg, "Fg"}};

const char* table_of(Source source) {
  for (const TableOf& t : tables) {
    if (t.source == source) return t.table;
  }
  return "";
}

// The stored row: the keys of the run, then the given fields.
Row stored(std::vector<std::string> fields) {
  Row row{"202110", "0"};
  row.insert(row.end(), fields.begin(), fields.end());
  return row;
}

std::vector<std::string> first(std::vector<std::string> fields, std::size_t count) {
  fields.resize(count);
  return fields;
}

std::vector<std::string> with(std::vector<std::string> fields, std::size_t index, std::string value) {
  fields[index] = std::move(value);
  return fields;
}

struct LineCase {
  const char* name;
  Source source;
  std::vector<std::string> lines;
  std::vector<Row> rows;  // the table afterwards, in insertion order
};

class EfSteps : public RunTest {};

class EfLines : public RunTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(EfLines, StoreTheFieldsTheStepReads) {
  const LineCase& c = GetParam();
  only(c.source, file("in.txt", lines_of(c.lines)));

  EXPECT_EQ(run(), RunOutcome::completed);

  EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{});
  EXPECT_EQ(query(std::string("select * from ") + table_of(c.source) + " order by rowid"), c.rows);
}

const auto e25 = numbered_fields("e", 25);
const auto f19 = numbered_fields("f", 19);
const auto titles = numbered_fields("title", 25);

INSTANTIATE_TEST_SUITE_P(
    Fields, EfLines,
    ::testing::Values(
        LineCase{"E25Fields", Source::en, {joined(e25, '\t')}, {stored(e25)}},
        LineCase{"E24FieldsAndATrailingTab",
                 Source::en,
                 {joined(first(e25, 24), '\t') + "\t"},
                 {stored(with(e25, 24, ""))}},
        LineCase{"E26FieldsDropTheLast", Source::en, {joined(numbered_fields("e", 26), '\t')}, {stored(e25)}},
        LineCase{"EOutpatientSamePositions", Source::eg, {joined(e25, '\t')}, {stored(e25)}},
        LineCase{"EQuotedTabStaysInItsField",
                 Source::en,
                 {joined(with(e25, 9, "\"a\tb\""), '\t')},
                 {stored(with(e25, 9, "a\tb"))}},
        LineCase{"EHeaderLineIsARow",
                 Source::en,
                 {joined(titles, '\t'), joined(e25, '\t')},
                 {stored(titles), stored(e25)}},
        LineCase{"F19Fields", Source::fn, {joined(f19, '\t')}, {stored(f19)}},
        LineCase{"F18FieldsAndATrailingTab",
                 Source::fn,
                 {joined(first(f19, 18), '\t') + "\t"},
                 {stored(with(f19, 18, ""))}},
        LineCase{"FOutpatient19Fields", Source::fg, {joined(f19, '\t')}, {stored(f19)}},
        LineCase{
            "AnEFileInTheFBoxGivesItsFirst19", Source::fn, {joined(e25, '\t')}, {stored(first(e25, 19))}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EfSteps, FewerFieldsThanReadFailsWithTheStepsMessage) {
  struct Case {
    Source source;
    int fields;
    const char* message;
  };
  for (const Case& c : {Case{Source::en, 24, "step_error:ENファイル取り込みエラー"},
                        Case{Source::fn, 18, "step_error:FNファイル取り込みエラー"},
                        Case{Source::eg, 24, "step_error:EGファイル取り込みエラー"},
                        Case{Source::fg, 18, "step_error:FGファイル取り込みエラー"}}) {
    only(c.source, file("short.txt", lines_of({joined(numbered_fields("x", c.fields), '\t')})));
    EXPECT_EQ(run(), RunOutcome::completed_with_errors);
    EXPECT_EQ(host.starting_with("step_error:"), std::vector<std::string>{c.message});
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].cause, path("short.txt") + ":1: line has " + std::to_string(c.fields) +
                                          " fields, field " + std::to_string(c.fields) + " is missing");
    EXPECT_EQ(query(std::string("select count(*) from ") + table_of(c.source)), (std::vector<Row>{{"0"}}));
  }
}

TEST_F(EfSteps, KeysKeepOtherYearMonthsAndPatterns) {
  for (const TableOf& t : tables) {
    const std::string table = t.table;
    const int count = t.source == Source::en || t.source == Source::eg ? 25 : 19;
    auto load = [&](const char* yymm, std::int64_t pattern, std::vector<std::string> prefixes) {
      keys.yymm = yymm;
      keys.yymmkbn = pattern;
      std::vector<std::string> lines;
      for (const std::string& p : prefixes) lines.push_back(joined(numbered_fields(p, count), '\t'));
      only(t.source, file("in.txt", lines_of(lines)));
      EXPECT_EQ(run(), RunOutcome::completed) << table;
    };
    load("202110", 0, {"a", "b"});
    load("202110", 1, {"c"});
    load("202109", 0, {"d"});
    load("202110", 0, {"e"});  // replaces a and b, and nothing else

    EXPECT_EQ(
        query("select yymm, yymmkbn, typeof(yymmkbn), scode from " + table + " order by scode"),
        (std::vector<Row>{
            {"202110", "1", "text", "c0"}, {"202109", "0", "text", "d0"}, {"202110", "0", "text", "e0"}}))
        << table;
  }
}

}  // namespace
}  // namespace efi::import::testing
