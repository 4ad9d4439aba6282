// The three renderings of one set of figures agree: every share of every
// month and side has the same numerator, denominator and share on the page,
// in the CSV and in the JSON; the JSON has the documented shape; the page
// needs no script and fetches nothing; special characters stay text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "report/figures.h"
#include "report/render.h"
#include "report_fixture.h"

namespace efi::report {
namespace {

using test::FixtureDb;
using test::Json;
using ::testing::HasSubstr;
using ::testing::Not;

// Three months: October with every kind of row, September without data,
// August before the oldest list (the fallback).
ReportFigures three_months() {
  FixtureDb db;
  db.y("610000001", "1111111F1011", "20250813", "ブランド錠");
  db.y("610000002", "1111111F1020", "20250813", "ジェネリック錠");
  db.y("610000003", "2222222F1011");
  db.y("610000004", "3333333F1011");
  db.y("610000004", "3333333F1020");  // ambiguous
  db.y("610000005", "9999999F9999");  // not in the list
  db.y("610000006", "4444444F1011");
  for (const char* date : {"20210901", "20211001"}) {
    db.exec("INSERT INTO kyak VALUES ('" + std::string(date) +
            "', '1111111F1011', 'A&B <成分>', '品名, \"特殊\" & <錠>', '2', '', '', '', '')");
    db.list("1111111F1020", "3", "", date);
    db.list("2222222F1011", "☆", "", date);
    db.list("4444444F1011", "3", "1", date);
  }
  db.inpatient("610000001", "12.5");
  db.inpatient("610000002", "0.1 * 3");
  db.inpatient("610000002", "37.2");
  db.inpatient("610000002", "NULL");
  db.inpatient("610000004", "3");
  db.inpatient("610000005", "4");
  db.inpatient("610000006", "8");
  db.outpatient("610000003", "9");  // only ☆: no denominator for the new index
  db.outpatient("610000002", "5", "202109");
  db.inpatient("610000001", "1", "202108");
  db.inpatient("610000002", "3", "202108");
  db.close();
  return read_report(db.path, {"202110", 1, 3});
}

const PageContext context{"/data/vorn.sqlite3", "20261210"};

struct ShareView {
  std::string numerator, denominator, share;  // as the rendering writes them
  bool operator==(const ShareView&) const = default;
};
void PrintTo(const ShareView& v, std::ostream* out) {
  *out << v.numerator << " / " << v.denominator << " = " << v.share;
}
using Views = std::map<std::string, ShareView>;  // "202110 inpatient new_index" -> view

Views page_views(const std::string& html) {
  Views views;
  const std::regex row(R"re(<tr id="month-(\d{6})">([\s\S]*?)</tr>)re");
  const std::regex cell(
      R"re(data-side="(\w+)" data-kind="(\w+)" data-numerator="([^"]*)" data-denominator="([^"]*)" data-share="([^"]*)">([^<]*))re");
  for (std::sregex_iterator r(html.begin(), html.end(), row), end; r != end; ++r) {
    const std::string cells = (*r)[2];
    for (std::sregex_iterator c(cells.begin(), cells.end(), cell); c != end; ++c) {
      const std::string visible = (*c)[6];
      EXPECT_TRUE(visible == (*c)[5] || visible == "データなし") << visible;
      views[(*r)[1].str() + " " + (*c)[1].str() + " " + (*c)[2].str()] = {(*c)[3], (*c)[4], visible};
    }
  }
  return views;
}

std::vector<std::vector<std::string>> csv_rows(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 3; i < csv.size(); ++i) {  // after the byte-order mark
    const char c = csv[i];
    if (quoted) {
      if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"')
        field += csv[++i];
      else if (c == '"')
        quoted = false;
      else
        field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  return rows;
}

Views csv_views(const std::string& csv) {
  Views views;
  const auto rows = csv_rows(csv);
  bool in_months = false;
  for (const auto& r : rows) {
    if (r.size() == 1 && r[0] == "月別の割合") {
      in_months = true;
      continue;
    }
    if (!in_months) continue;
    if (r.size() == 1 && r[0].empty()) break;
    if (r[0] == "年月") continue;
    EXPECT_EQ(r.size(), 11u);
    const std::string side = r[1] == "入院" ? "inpatient" : "outpatient";
    views[r[0] + " " + side + " new_index"] = {r[6], r[7], r[5]};
    views[r[0] + " " + side + " cutoff"] = {r[9], r[10], r[8]};
  }
  return views;
}

Views json_views(const Json& json, Views page) {
  Views views;
  for (const Json& month : json["months"].items) {
    for (const char* side : {"inpatient", "outpatient"}) {
      for (const char* kind : {"new_index", "cutoff"}) {
        const Json& ratio = month[side][kind];
        const std::string key = month["yymm"].text + " " + side + " " + kind;
        const double denominator = ratio["denominator"].number();
        if (denominator == 0) {
          EXPECT_TRUE(ratio["share"].is_null()) << key;
        } else {
          EXPECT_NEAR(ratio["share"].number(), ratio["numerator"].number() / denominator, 1e-12) << key;
        }
        // The JSON has no share text; take the page's, checked on its own.
        views[key] = {ratio["numerator"].text, ratio["denominator"].text, page[key].share};
      }
    }
  }
  return views;
}

TEST(Renderings, PageCsvAndJsonShowTheSameSharesForEveryMonthAndSide) {
  const ReportFigures figures = three_months();
  const std::string html = render_html(figures, context);
  const std::string csv = render_csv(figures, context);
  const Json json = Json::parse(render_json(figures));

  const Views page = page_views(html);
  ASSERT_EQ(page.size(), 12u) << "3 months x 2 sides x 2 shares";
  EXPECT_EQ(csv_views(csv), page);
  EXPECT_EQ(json_views(json, page), page);

  // The hand count behind October's inpatient side: generics 0.3 + 37.2
  // (the row without an amount is no quantity), brands with generics 12.5.
  EXPECT_EQ(page.at("202110 inpatient new_index"), (ShareView{"37.5", "50", "75.0%"}));
  // ☆ 0 and the excluded 8 are outside; the unclassified 3 + 4 too.
  EXPECT_EQ(page.at("202110 inpatient cutoff"), (ShareView{"50", "50", "100.0%"}));
  EXPECT_EQ(page.at("202110 outpatient new_index"), (ShareView{"0", "0", "—"}));
  EXPECT_EQ(page.at("202110 outpatient cutoff"), (ShareView{"0", "9", "0.0%"}));
  EXPECT_EQ(page.at("202109 inpatient new_index").share, "データなし");
  EXPECT_EQ(page.at("202108 inpatient new_index"), (ShareView{"3", "4", "75.0%"}));
}

TEST(Renderings, JsonHasTheDocumentedShape) {
  const Json json = Json::parse(render_json(three_months()));
  EXPECT_EQ(json["yymm"].text, "202110");
  EXPECT_EQ(json["pattern"].text, "1");
  EXPECT_EQ(json["y_list_date"].text, "20250813");
  ASSERT_EQ(json["months"].items.size(), 3u);
  const Json& october = json["months"][0];
  EXPECT_EQ(october.keys, (std::vector<std::string>{"yymm", "drug_list_date", "drug_list_fallback",
                                                    "inpatient", "outpatient"}));
  EXPECT_EQ(october["drug_list_date"].text, "20211001");
  EXPECT_FALSE(october["drug_list_fallback"].boolean);
  EXPECT_TRUE(json["months"][2]["drug_list_fallback"].boolean);
  EXPECT_EQ(json["months"][2]["drug_list_date"].text, "20210901");

  const Json& in = october["inpatient"];
  EXPECT_EQ(in["rows"].text, "7");
  EXPECT_EQ(in["quantity"].keys,
            (std::vector<std::string>{"1", "2", "☆", "3", "★", "", "excluded", "unclassified"}));
  EXPECT_EQ(in["quantity"]["2"].text, "12.5");
  EXPECT_EQ(in["quantity"]["3"].text, "37.5");
  EXPECT_EQ(in["quantity"]["excluded"].text, "8");
  EXPECT_EQ(in["quantity"]["unclassified"].text, "7");
  EXPECT_EQ(in["new_index"].keys, (std::vector<std::string>{"numerator", "denominator", "share"}));
  EXPECT_EQ(in["new_index"]["share"].text, "0.75");
  ASSERT_EQ(in["top_brand"].items.size(), 1u);
  const Json& brand = in["top_brand"][0];
  EXPECT_EQ(brand.keys,
            (std::vector<std::string>{"code", "ingredient", "product", "quantity", "gain_points"}));
  EXPECT_EQ(brand["product"].text, "品名, \"特殊\" & <錠>");
  EXPECT_EQ(brand["quantity"].text, "12.5");
  EXPECT_EQ(brand["gain_points"].text, "25");  // 12.5 of 50
  const Json& quality = in["quality"];
  EXPECT_EQ(quality["rows_without_e_match"].text, "1");
  EXPECT_EQ(quality["codes_not_in_y"].text, "0");
  EXPECT_EQ(quality["codes_ambiguous_in_y"].text, "1");
  EXPECT_EQ(quality["codes_not_in_list"].text, "1");
  EXPECT_EQ(in["quality_codes"]["ambiguous_in_y"][0]["price_codes"].items.size(), 2u);
  EXPECT_TRUE(october["outpatient"]["new_index"]["share"].is_null());
  EXPECT_TRUE(json["months"][1]["inpatient"]["new_index"]["share"].is_null());
  EXPECT_EQ(json["months"][1]["inpatient"]["rows"].text, "0");
}

// Whether the (long) page holds `part`; a failure then names the part only.
bool holds(const std::string& page, const std::string& part) { return page.find(part) != std::string::npos; }

TEST(Renderings, PageIsSelfContainedAndKeepsSpecialCharactersAsText) {
  const std::string html = render_html(three_months(), context);
  for (const char* fetching : {"<script", "<link", "src=", "url(", "@import"})
    EXPECT_FALSE(holds(html, fetching)) << fetching;
  // The only address is the rules' source, a plain link.
  const std::regex address(R"(https?://[^"<）\s]+)");
  std::set<std::string> addresses;
  for (std::sregex_iterator it(html.begin(), html.end(), address), end; it != end; ++it)
    addresses.insert(it->str());
  EXPECT_EQ(addresses, (std::set<std::string>{"http://www.w3.org/2000/svg",
                                              "https://www.mhlw.go.jp/topics/2021/04/tp20210401-01.html"}));
  EXPECT_TRUE(holds(html, "品名, &quot;特殊&quot; &amp; &lt;錠&gt;"));
  EXPECT_FALSE(holds(html, "<錠>"));
  // Both charts, each with the four reference lines and a point per share.
  std::map<std::string, std::string> charts;
  for (const char* side : {"inpatient", "outpatient"}) {
    const std::size_t start = html.find(std::string("<svg class=\"chart\" id=\"chart-") + side);
    ASSERT_NE(start, std::string::npos) << side;
    const std::string svg = html.substr(start, html.find("</svg>", start) - start);
    for (const char* percent : {"90", "85", "75", "50"})
      EXPECT_TRUE(holds(svg, std::string("data-percent=\"") + percent + "\"")) << side << " " << percent;
    charts[side] = svg;
  }
  // Inpatient: August and October, September without data between them: a
  // point each and no line across the gap.
  EXPECT_TRUE(holds(charts["inpatient"], "<title>2021年8月 置換え率 75.0%（3 / 4）</title>"));
  EXPECT_FALSE(holds(charts["inpatient"], "<polyline"));
  // Outpatient: the cut-off of September and October, one line; the new
  // index has no denominator in October and so no point.
  EXPECT_TRUE(holds(charts["outpatient"], "<polyline class=\"line-cutoff\""));
  EXPECT_FALSE(holds(charts["outpatient"], "<polyline class=\"line-new\""));
}

TEST(Renderings, CsvIsUtf8WithAByteOrderMarkForExcel) {
  const std::string csv = render_csv(three_months(), context);
  ASSERT_GE(csv.size(), 3u);
  EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(csv.find('\n'), csv.find("\r\n") + 1) << "lines end in CR LF";
  EXPECT_THAT(csv, HasSubstr(",\"品名, \"\"特殊\"\" & <錠>\","));
  const auto rows = csv_rows(csv);
  EXPECT_EQ(rows.at(0).at(0), "後発医薬品使用割合レポート");
}

}  // namespace
}  // namespace efi::report
