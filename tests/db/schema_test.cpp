#include "db/schema.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db_test_support.h"

namespace efi::db {
namespace {

using test::Raw;
using test::SchemaDb;
using test::ScratchFolder;

std::vector<std::string> split(const std::string& words) {
  std::vector<std::string> out;
  std::istringstream in(words);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

TEST(Schema, EightTablesWithTheirColumnsInOrder) {
  const std::string e_tail =
      "dkbn jno tencode rdcode kaisyaku meisyou tensu yakuzairyou zairyouryou yenten kaisu hno rdscode "
      "jisymd rdsnk snk drcode byotocode byotokbn ngkbn stype";
  const std::string f_tail =
      "dkbn jno kmno tencode rdcode kaisyaku meisyou shiyouryou tani kmtensu kmyakuzairyou";
  struct Table {
    const char* name;
    std::string columns;  // in order, blank-separated
    std::size_t count;    // as the inserts need it
  } const tables[] = {
      {"En", "yymm yymmkbn scode dscode taiymd nyuymd " + e_tail, 27},
      {"Eg", "yymm yymmkbn scode dscode birthday gairaiymd " + e_tail, 27},
      {"Fn", "yymm yymmkbn scode dscode taiymd nyuymd " + f_tail + " kmzairyoryou yenten jistensu kmkjyouhou",
       21},
      {"Fg",
       "yymm yymmkbn scode dscode birthday gairaiymd " + f_tail + " kmzairyouryou yenten jistensu kmkjyouhou",
       21},
      {"EFn",
       "yymm yymmkbn scode dscode taiymd nyuymd dkbn jno kmno tencode rdcode meisyou jisymd shiyouryou_kaisu",
       14},
      {"EFg",
       "yymm yymmkbn scode dscode birthday gairaiymd dkbn jno tencode rdcode meisyou jisymd shiyouryou_kaisu",
       13},
      {"kyak", "ymd code seibunmei hinmei flg bikou1 bikou2 bikou3 bikou4", 9},
      {"yak", "ymd yjcode name yakcode", 4},
  };
  SchemaDb db;
  Raw raw(db.path);
  EXPECT_EQ(raw.column("select name from sqlite_schema where type = 'table' order by name"),
            (std::vector<std::string>{"EFg", "EFn", "Eg", "En", "Fg", "Fn", "kyak", "yak"}));
  for (const Table& t : tables) {
    SCOPED_TRACE(t.name);
    std::vector<std::string> names, types;
    for (auto& row : raw.rows(std::string("PRAGMA table_info(") + t.name + ")")) {
      names.push_back(row.at(1));
      types.push_back(row.at(2));
    }
    EXPECT_EQ(names, split(t.columns));
    EXPECT_EQ(names.size(), t.count);
    // Every loaded field is TEXT; only the derived usage amount is NUMERIC.
    for (std::size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(types[i], names[i] == "shiyouryou_kaisu" ? "NUMERIC" : "TEXT") << names[i];
  }
}

TEST(Schema, IndexesServeTheDeletesAndTheDerivation) {
  SchemaDb db;
  Raw raw(db.path);
  auto columns_of = [&](const std::string& index) {
    std::vector<std::string> out;
    for (auto& row : raw.rows("PRAGMA index_info(" + index + ")")) out.push_back(row.at(2));
    return out;
  };
  EXPECT_EQ(raw.rows("select name, tbl_name from sqlite_schema where type = 'index' order by name"),
            (std::vector<std::vector<std::string>>{{"EFg_key", "EFg"},
                                                   {"EFn_key", "EFn"},
                                                   {"Eg_key", "Eg"},
                                                   {"Eg_match", "Eg"},
                                                   {"En_key", "En"},
                                                   {"En_match", "En"},
                                                   {"Fg_key", "Fg"},
                                                   {"Fn_key", "Fn"},
                                                   {"kyak_ymd", "kyak"},
                                                   {"yak_ymd_yjcode", "yak"}}));
  EXPECT_EQ(columns_of("En_match"), split("dscode jno taiymd nyuymd dkbn scode yymm yymmkbn jisymd kaisu"));
  EXPECT_EQ(columns_of("Eg_match"),
            split("dscode jno birthday gairaiymd dkbn scode yymm yymmkbn jisymd kaisu"));
  EXPECT_EQ(columns_of("yak_ymd_yjcode"), split("ymd yjcode"));

  auto plan = [&](const std::string& sql) {
    std::string out;
    for (auto& row : raw.rows("EXPLAIN QUERY PLAN " + sql)) out += row.at(3) + "\n";
    return out;
  };
  // The derivation's look-up of the E row of an F row, as the inpatient
  // derivation writes it.
  const std::string derivation =
      "INSERT INTO EFn select fn.yymm, fn.yymmkbn, fn.scode, fn.dscode, fn.taiymd, fn.nyuymd, fn.dkbn, fn.jno,"
      " fn.kmno, fn.tencode, fn.rdcode, fn.meisyou,"
      " (select e.jisymd from en e where e.yymm = fn.yymm and e.yymmkbn = fn.yymmkbn and e.scode = fn.scode"
      "  and e.dscode = fn.dscode and e.taiymd = fn.taiymd and e.nyuymd = fn.nyuymd and e.dkbn = fn.dkbn"
      "  and e.jno = fn.jno),"
      " fn.shiyouryou * (select kaisu from en e where e.yymm = fn.yymm and e.yymmkbn = fn.yymmkbn"
      "  and e.scode = fn.scode and e.dscode = fn.dscode and e.taiymd = fn.taiymd and e.nyuymd = fn.nyuymd"
      "  and e.dkbn = fn.dkbn and e.jno = fn.jno)"
      " from fn,yak where fn.yymm = :yymm and fn.yymmkbn = :yymmkbn and yak.ymd = (select max(ymd) from yak)"
      " and fn.rdcode = yak.yjcode";
  const std::string p = plan(derivation);
  // Both look-ups of the E row find it in the index alone.
  const std::string covered =
      "SEARCH e USING COVERING INDEX En_match (dscode=? AND jno=? AND taiymd=? AND nyuymd=? AND dkbn=? "
      "AND scode=? AND yymm=? AND yymmkbn=?)";
  const std::size_t first = p.find(covered);
  EXPECT_NE(first, std::string::npos) << p;
  EXPECT_NE(p.find(covered, first + 1), std::string::npos) << p;
  EXPECT_EQ(p.find("SCAN e"), std::string::npos) << p;
  EXPECT_EQ(p.find("SCAN fn"), std::string::npos) << p;

  for (const char* table : {"En", "Eg", "Fn", "Fg", "EFn", "EFg"}) {
    const std::string d =
        plan(std::string("delete from ") + table + " where yymm = :yymm and yymmkbn = :yymmkbn");
    EXPECT_NE(d.find("(yymm=? AND yymmkbn=?)"), std::string::npos) << table << "\n" << d;
  }
  EXPECT_NE(plan("delete from kyak where ymd = 20260101").find("INDEX kyak_ymd (ymd=?)"), std::string::npos);
  EXPECT_NE(plan("delete from yak where ymd = 20260101").find("INDEX yak_ymd_yjcode (ymd=?)"),
            std::string::npos);
}

TEST(Schema, ApplyingAgainKeepsTablesAndRows) {
  SchemaDb db;
  {
    Raw raw(db.path);
    raw.exec("insert into yak values ('20260101', '1', 'n', 'y')");
  }
  const std::string before =
      Raw(db.path).rows("select group_concat(sql, ';') from sqlite_schema").at(0).at(0);
  apply_schema(db.path);
  Raw raw(db.path);
  EXPECT_EQ(raw.rows("select group_concat(sql, ';') from sqlite_schema").at(0).at(0), before);
  EXPECT_EQ(raw.column("select yjcode from yak"), std::vector<std::string>{"1"});
}

TEST(Schema, EmbeddedTextIsTheSchemaFile) {
  std::ifstream in(test::source_path("schema/vorn.sql"), std::ios::binary);
  ASSERT_TRUE(in) << test::source_path("schema/vorn.sql");
  std::ostringstream file;
  file << in.rdbuf();
  EXPECT_EQ(schema_sql(), file.str());
}

TEST(Schema, ApplyFailsWithTheEngineText) {
  ScratchFolder dir{"efi-db"};
  try {
    apply_schema(efi::test_support::utf8_of(dir.folder() / "missing" / "vorn.sqlite3"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "unable to open database file");
  }
  // A file held by another connection's exclusive lock
  const std::string path = dir.path("locked.sqlite3");
  Raw other(path);
  other.exec("PRAGMA locking_mode = EXCLUSIVE");
  other.exec("create table t (x); insert into t values (1)");
  try {
    apply_schema(path);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "database is locked");
    EXPECT_EQ(e.sql(), "BEGIN IMMEDIATE");
  }
}

}  // namespace
}  // namespace efi::db
