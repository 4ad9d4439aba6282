// The page in a real browser: headless Chromium (Debian's, installed by
// scripts/setup) loads the written file and dumps the DOM it built; the
// figures and the chart's elements must be in it as the report computed
// them. Native builds only: the Windows build has no Chromium to start.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>

#include "report/figures.h"
#include "report/render.h"
#include "report_fixture.h"

namespace efi::report {
namespace {

using test::FixtureDb;

std::size_t count(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

// The DOM Chromium builds from `page`, or a failure naming what went wrong.
std::string dumped_dom(const std::filesystem::path& page, const std::filesystem::path& profile) {
  const std::string command =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync --user-data-dir='" +
      profile.string() + "' --dump-dom 'file://" + page.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string dom;
  std::array<char, 65536> buffer;
  for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    dom.append(buffer.data(), n);
  pclose(pipe);
  return dom;
}

TEST(Browser, ChromiumShowsTheFiguresAndTheChartsOfThePage) {
  ASSERT_EQ(std::system("command -v chromium >/dev/null 2>&1"), 0)
      << "chromium is not installed: scripts/setup installs Debian's chromium for this test";

  FixtureDb db;
  db.drug("610000001", "2325003B2029", "2");
  db.drug("610000002", "2325003B2010", "3");
  for (const char* month : {"202110", "202109"}) {
    db.inpatient("610000001", "10.5", month);
    db.inpatient("610000002", "31.5", month);
    db.outpatient("610000002", "7", month);
  }
  db.inpatient("610000002", "8", "202108");  // August: inpatient only; July: nothing
  db.close();
  const ReportFigures figures = read_report(db.path, {"202110", 1, 4});
  const std::filesystem::path page = db.dir.folder() / "efimport-report-202110.html";
  std::ofstream(page, std::ios::binary) << render_html(figures, {db.path, "20261210"});

  const std::string dom = dumped_dom(page, db.dir.folder() / "profile");
  ASSERT_THAT(dom, ::testing::HasSubstr("<html")) << "Chromium printed no DOM";
  auto holds = [&](const std::string& part) { return dom.find(part) != std::string::npos; };

  EXPECT_TRUE(holds("<h1>後発医薬品使用割合レポート</h1>")) << "the page's Japanese text, decoded as UTF-8";
  // The headline cards: the share as shown, with its numerator and denominator.
  EXPECT_TRUE(holds("data-share=\"75.0%\">\n<div class=\"side\">入院</div>"));
  EXPECT_TRUE(holds("<div class=\"value\">75.0%</div>\n<div class=\"basis\">分子 31.5 / 分母 42</div>"));
  EXPECT_TRUE(holds("<div class=\"value\">100.0%</div>\n<div class=\"basis\">分子 7 / 分母 7</div>"))
      << "outpatient: generics only";
  EXPECT_EQ(count(dom, "<tr id=\"month-\\d{6}\">"), 4u);
  // The table's cells of July (both sides) and August (outpatient), and the
  // charts' labels under those months.
  EXPECT_EQ(count(dom, ">データなし<"), 6u + 3u);

  // The charts: two SVGs, each with the four reference lines.
  EXPECT_EQ(count(dom, "<svg class=\"chart\" id=\"chart-(inpatient|outpatient)\""), 2u);
  EXPECT_EQ(count(dom, "<line class=\"ref ref-new\" data-percent=\"(90|85|75)\""), 6u);
  EXPECT_EQ(count(dom, "<line class=\"ref ref-cutoff\" data-percent=\"50\""), 2u);
  // Inpatient: August to October, outpatient: September and October; each
  // side one line per share, one point per month with data.
  EXPECT_EQ(count(dom, "<polyline class=\"line-new\""), 2u);
  EXPECT_EQ(count(dom, "<polyline class=\"line-cutoff\""), 2u);
  EXPECT_EQ(count(dom, "<circle class=\"line-new-point\""), 5u);
  EXPECT_EQ(count(dom, "<circle class=\"line-cutoff-point\""), 5u);
  EXPECT_TRUE(holds("<title>2021年10月 置換え率 75.0%（31.5 / 42）</title>"));
}

}  // namespace
}  // namespace efi::report

#endif  // _WIN32
