// The page: one HTML file with its style and charts inline, readable in any
// browser without a script or a network. Every share cell carries its exact
// numerator and denominator as data attributes, beside the visible text.
#include "report/chart.h"
#include "report/labels.h"
#include "report/render.h"

namespace efi::report {
namespace {

constexpr std::string_view style = R"css(
body { margin: 0; background: #eef0f3; color: #1f2328;
  font-family: "Yu Gothic UI", "Yu Gothic", Meiryo, "Hiragino Sans", "Noto Sans CJK JP", "VL PGothic", "VL Gothic", sans-serif; }
main { max-width: 1100px; margin: 0 auto; padding: 20px 32px 40px; background: #fff; }
h1 { font-size: 24px; margin: 8px 0 2px; }
h2 { font-size: 17px; margin: 30px 0 10px; padding: 2px 0 2px 10px; border-left: 5px solid #2f6db5; }
h3 { font-size: 15px; margin: 14px 0 6px; }
.subtitle { font-size: 16px; color: #444; margin: 0 0 12px; }
dl.meta { display: grid; grid-template-columns: max-content 1fr; gap: 3px 18px; font-size: 13px; margin: 0; }
dl.meta dt { color: #57606a; }
dl.meta dd { margin: 0; }
.warning { color: #9a3412; }
.cards { display: grid; grid-template-columns: repeat(4, 1fr); gap: 12px; }
.card { border: 1px solid #d0d7de; border-radius: 6px; padding: 10px 14px 12px; }
.card .side { font-size: 13px; font-weight: bold; color: #57606a; }
.card .kind { font-size: 13px; color: #57606a; }
.card .value { font-size: 38px; font-weight: bold; line-height: 1.2; margin: 4px 0; font-variant-numeric: tabular-nums; }
.card .basis { font-size: 12px; color: #57606a; font-variant-numeric: tabular-nums; }
.level { display: inline-block; font-size: 12px; padding: 1px 8px; border-radius: 10px; margin-top: 6px; }
.level.met { background: #dcfce7; color: #166534; }
.level.unmet { background: #fee2e2; color: #991b1b; }
.level.none { background: #eef0f3; color: #57606a; }
.charts { display: grid; grid-template-columns: 1fr 1fr; gap: 16px; }
svg.chart { width: 100%; height: auto; font-size: 11px; }
svg .plot { fill: #fafbfc; stroke: #d0d7de; }
svg .grid { stroke: #e5e8ec; }
svg .axis { fill: #57606a; }
svg .no-data { fill: #9a3412; font-size: 10px; }
svg .ref { stroke-width: 1; stroke-dasharray: 5 3; }
svg .ref-new { stroke: #2f6db5; }
svg .ref-cutoff { stroke: #c2410c; }
svg .ref-label { font-size: 10px; }
svg .ref-new-label { fill: #2f6db5; }
svg .ref-cutoff-label { fill: #c2410c; }
svg .line-new { fill: none; stroke: #1d4ed8; stroke-width: 2.5; }
svg .line-cutoff { fill: none; stroke: #ea580c; stroke-width: 2.5; stroke-dasharray: 7 4; }
svg .line-new-point { fill: #1d4ed8; }
svg .line-cutoff-point { fill: #ea580c; }
svg .point-label { font-size: 10px; font-weight: bold; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
svg .line-new-label { fill: #1d4ed8; }
svg .line-cutoff-label { fill: #c2410c; }
svg .legend { fill: #1f2328; font-size: 12px; }
table { border-collapse: collapse; width: 100%; font-size: 13px; margin-bottom: 8px; }
th, td { border: 1px solid #d0d7de; padding: 4px 8px; vertical-align: top; }
th { background: #f1f3f6; font-weight: bold; text-align: center; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.code { font-family: Consolas, "DejaVu Sans Mono", monospace; white-space: nowrap; }
td.share .basis { display: block; font-size: 11px; color: #57606a; }
td.no-data { color: #9a3412; text-align: center; }
tr.total td { font-weight: bold; background: #f8f9fb; }
.pair { display: grid; grid-template-columns: 1fr 1fr; gap: 16px; }
p.note, ul.note { font-size: 12.5px; color: #3d444d; }
ul.rules { font-size: 13px; line-height: 1.7; padding-left: 20px; }
footer { font-size: 12px; color: #57606a; margin-top: 28px; border-top: 1px solid #d0d7de; padding-top: 8px; }
@media print { body { background: #fff; } main { padding: 0; } }
)css";

std::string_view side_label(bool is_inpatient) {
  return is_inpatient ? labels::inpatient : labels::outpatient;
}
std::string_view side_key(bool is_inpatient) { return is_inpatient ? "inpatient" : "outpatient"; }
const SideFigures& side_of(const MonthFigures& m, bool is_inpatient) {
  return is_inpatient ? m.inpatient : m.outpatient;
}

std::string attribute(std::string_view name, std::string_view value) {
  return " " + std::string(name) + "=\"" + escaped(value) + "\"";
}

// The data attributes every share carries: exact numerator, denominator and
// the visible share, so a reader (or a test) need not parse the text.
std::string share_attributes(std::string_view side, std::string_view kind, const Ratio& r) {
  return attribute("data-side", side) + attribute("data-kind", kind) +
         attribute("data-numerator", plain_text(r.numerator)) +
         attribute("data-denominator", plain_text(r.denominator)) + attribute("data-share", percent_text(r));
}

std::string basis_text(const Ratio& r) {
  return std::string(labels::numerator) + " " + grouped_text(r.numerator) + " / " +
         std::string(labels::denominator) + " " + grouped_text(r.denominator);
}

// The badge under a headline share: which of the additions' steps it meets.
std::string level_badge(const Ratio& r, bool is_new_index) {
  if (!r.has_share()) return "<span class=\"level none\">分母がありません</span>";
  if (is_new_index) {
    for (int step : {90, 85, 75})
      if (reaches(r, step)) return "<span class=\"level met\">" + std::to_string(step) + "%以上</span>";
    return "<span class=\"level unmet\">75%未満</span>";
  }
  return reaches(r, 50) ? "<span class=\"level met\">50%以上</span>"
                        : "<span class=\"level unmet\">50%未満</span>";
}

std::string card(const MonthFigures& month, bool is_inpatient, bool is_new_index) {
  const SideFigures& s = side_of(month, is_inpatient);
  const Ratio& r = is_new_index ? s.new_index : s.cutoff;
  const std::string_view kind = is_new_index ? "new_index" : "cutoff";
  std::string html = "<div class=\"card\"" + share_attributes(side_key(is_inpatient), kind, r) + ">\n";
  html += "<div class=\"side\">" + std::string(side_label(is_inpatient)) + "</div>\n";
  html +=
      "<div class=\"kind\">" + std::string(is_new_index ? labels::new_index : labels::cutoff) + "</div>\n";
  if (!s.has_data()) {
    html += "<div class=\"value\">" + std::string(labels::no_data) + "</div>\n</div>\n";
    return html;
  }
  html += "<div class=\"value\">" + escaped(percent_text(r)) + "</div>\n";
  html += "<div class=\"basis\">" + basis_text(r) + "</div>\n";
  html += level_badge(r, is_new_index) + "\n</div>\n";
  return html;
}

std::string share_cell(const SideFigures& s, bool is_inpatient, std::string_view kind, const Ratio& r) {
  if (!s.has_data())
    return "<td class=\"share no-data\"" + share_attributes(side_key(is_inpatient), kind, r) + ">" +
           std::string(labels::no_data) + "</td>";
  return "<td class=\"share num\"" + share_attributes(side_key(is_inpatient), kind, r) + ">" +
         escaped(percent_text(r)) + "<span class=\"basis\">" + grouped_text(r.numerator) + " / " +
         grouped_text(r.denominator) + "</span></td>";
}

std::string month_table(const ReportFigures& figures) {
  std::string html = "<table id=\"months\">\n<thead><tr><th rowspan=\"2\">年月</th><th rowspan=\"2\">" +
                     std::string(labels::drug_list) + "</th><th colspan=\"2\">" +
                     std::string(labels::inpatient) + "</th><th colspan=\"2\">" +
                     std::string(labels::outpatient) + "</th></tr>\n<tr><th>" +
                     std::string(labels::new_index_short) + "</th><th>" + std::string(labels::cutoff) +
                     "</th><th>" + std::string(labels::new_index_short) + "</th><th>" +
                     std::string(labels::cutoff) + "</th></tr></thead>\n<tbody>\n";
  for (const MonthFigures& m : figures.months) {
    html += "<tr id=\"month-" + escaped(m.yymm) + "\"><td>" + labels::month_text(m.yymm) + "</td><td>";
    if (m.drug_list_date) {
      html += labels::date_text(*m.drug_list_date);
      if (m.drug_list_fallback) html += "<br><span class=\"warning\">（代用）</span>";
    } else {
      html += std::string(labels::no_list);
    }
    html += "</td>";
    for (bool is_inpatient : {true, false}) {
      const SideFigures& s = side_of(m, is_inpatient);
      html += share_cell(s, is_inpatient, "new_index", s.new_index);
      html += share_cell(s, is_inpatient, "cutoff", s.cutoff);
    }
    html += "</tr>\n";
  }
  return html + "</tbody>\n</table>\n";
}

std::string quantity_row(std::string_view name, std::string_view flag, Quantity in, Quantity out,
                         std::string_view key, bool is_total = false) {
  return std::string("<tr") + (is_total ? " class=\"total\"" : "") + attribute("data-quantity", key) +
         "><td>" + escaped(name) + "</td><td class=\"flag\">" + escaped(flag) + "</td><td class=\"num\"" +
         attribute("data-value", plain_text(in)) + ">" + grouped_text(in) + "</td><td class=\"num\"" +
         attribute("data-value", plain_text(out)) + ">" + grouped_text(out) + "</td></tr>\n";
}

std::string quantity_table(const MonthFigures& m) {
  std::string html = "<table id=\"quantities\">\n<thead><tr><th>区分</th><th>記号</th><th>" +
                     std::string(labels::inpatient) + "</th><th>" + std::string(labels::outpatient) +
                     "</th></tr></thead>\n<tbody>\n";
  Quantity total_in, total_out;
  for (DrugClass c : all_drug_classes) {
    const std::string_view flag = flag_of(c);
    html += quantity_row(labels::class_name(c), flag.empty() ? "（空欄）" : flag, m.inpatient.quantity.of(c),
                         m.outpatient.quantity.of(c), flag);
    total_in += m.inpatient.quantity.of(c);
    total_out += m.outpatient.quantity.of(c);
  }
  html += quantity_row(labels::excluded, "除外", m.inpatient.quantity.excluded,
                       m.outpatient.quantity.excluded, "excluded");
  html += quantity_row(labels::unclassified, "", m.inpatient.quantity.unclassified,
                       m.outpatient.quantity.unclassified, "unclassified");
  total_in += m.inpatient.quantity.excluded + m.inpatient.quantity.unclassified;
  total_out += m.outpatient.quantity.excluded + m.outpatient.quantity.unclassified;
  html += quantity_row("合計", "", total_in, total_out, "total", true);
  html += quantity_row(labels::crude_and_kampo, "", m.inpatient.quantity.crude_and_kampo,
                       m.outpatient.quantity.crude_and_kampo, "crude_and_kampo");
  return html + "</tbody>\n</table>\n";
}

std::string brand_table(const SideFigures& s, bool is_inpatient) {
  std::string html = "<div>\n<h3>" + std::string(side_label(is_inpatient)) + "</h3>\n";
  if (s.top_brand.empty())
    return html + "<p class=\"note\">後発医薬品のある先発医薬品の使用はありません。</p>\n</div>\n";
  html += "<table class=\"brands\" id=\"brands-" + std::string(side_key(is_inpatient)) +
          "\">\n<thead><tr><th>順位</th><th>薬価基準コード</th><th>成分名</th><th>品名</th><th>数量</th>"
          "<th>上昇ポイント</th></tr></thead>\n<tbody>\n";
  for (std::size_t i = 0; i < s.top_brand.size(); ++i) {
    const BrandUsage& b = s.top_brand[i];
    html += "<tr><td class=\"num\">" + std::to_string(i + 1) + "</td><td class=\"code\">" + escaped(b.code) +
            "</td><td>" + escaped(b.ingredient) + "</td><td>" + escaped(b.product) +
            "</td><td class=\"num\"" + attribute("data-value", plain_text(b.quantity)) + ">" +
            grouped_text(b.quantity) + "</td><td class=\"num\">+" +
            gain_points_text(b.quantity, s.new_index.denominator) + "</td></tr>\n";
  }
  return html + "</tbody>\n</table>\n</div>\n";
}

std::string quality_codes(std::string_view title, const std::vector<QualityCode>& codes, std::int64_t count,
                          bool show_quantity) {
  if (codes.empty()) return {};
  std::string html =
      "<p class=\"note\">" + escaped(title) + "（" + std::to_string(count) +
      (count > static_cast<std::int64_t>(codes.size()) ? "件のうち上位" + std::to_string(codes.size())
                                                       : std::string("件")) +
      "）</p>\n<table class=\"quality-codes\">\n<thead><tr><th>コード</th><th>名称</th><th>行数</th>";
  if (show_quantity) html += "<th>数量</th>";
  html += "</tr></thead>\n<tbody>\n";
  for (const QualityCode& c : codes) {
    std::string name = escaped(c.name);
    if (!c.price_codes.empty()) {
      std::string list;
      for (const std::string& p : c.price_codes) list += (list.empty() ? "" : "、") + escaped(p);
      name += (name.empty() ? "" : "<br>") + std::string("→ ") + list;
    }
    html += "<tr><td class=\"code\">" + escaped(c.code) + "</td><td>" + name + "</td><td class=\"num\">" +
            std::to_string(c.rows) + "</td>";
    if (show_quantity) html += "<td class=\"num\">" + grouped_text(c.quantity) + "</td>";
    html += "</tr>\n";
  }
  return html + "</tbody>\n</table>\n";
}

std::string quality_section(const SideFigures& s, bool is_inpatient) {
  const Quality& q = s.quality;
  std::string html = "<div>\n<h3>" + std::string(side_label(is_inpatient)) + "</h3>\n";
  html += "<table class=\"quality\" id=\"quality-" + std::string(side_key(is_inpatient)) +
          "\">\n<thead><tr><th>項目</th><th>件数</th></tr></thead>\n<tbody>\n";
  const std::pair<std::string_view, std::int64_t> counts[] = {
      {labels::rows_without_e_match, q.rows_without_e_match},
      {labels::rows_amount_unreadable, q.rows_amount_unreadable},
      {labels::codes_not_in_y, q.codes_not_in_y},
      {labels::codes_ambiguous_in_y, q.codes_ambiguous_in_y},
      {labels::codes_duplicated_in_y, q.codes_duplicated_in_y},
      {labels::codes_not_in_list, q.codes_not_in_list},
      {labels::codes_ambiguous_in_list, q.codes_ambiguous_in_list},
      {labels::codes_unknown_class, q.codes_unknown_class},
  };
  for (const auto& [label, count] : counts)
    html += "<tr><td>" + escaped(label) + "</td><td class=\"num\">" + std::to_string(count) + "</td></tr>\n";
  html += "</tbody>\n</table>\n";
  html += quality_codes(labels::rows_without_e_match, q.without_e_match, q.rows_without_e_match, false);
  html += quality_codes(labels::codes_not_in_y, q.not_in_y, q.codes_not_in_y, true);
  html += quality_codes(labels::codes_ambiguous_in_y, q.ambiguous_in_y, q.codes_ambiguous_in_y, true);
  html += quality_codes(labels::codes_not_in_list, q.not_in_list, q.codes_not_in_list, true);
  return html + "</div>\n";
}

std::string rules_section(const ReportFigures& figures) {
  const std::string pattern = std::to_string(figures.pattern);
  std::string html = "<h2>算出方法</h2>\n<ul class=\"rules\">\n";
  html += "<li>対象は、入院はEFn、外来はEFgの各年月・パターン" + pattern +
          "の行です。数量は各行の使用量（Fファイルの使用量 × Eファイルの回数）です。使用量のない行"
          "（対応するEファイルの行がない行）は0とせず、データ品質に計上します。</li>\n";
  html +=
      "<li>レセプト電算コードは、最新のYリスト（取込日が最も新しいもの）で薬価基準コードに対応付けます。"
      "複数の薬価基準コードに対応するコードはどれにも対応付けず、データ品質に計上します。"
      "Yリストの重複行で数量が増えることはありません。</li>\n";
  html +=
      "<li>区分と除外品目は、その月の末日以前で最も新しい" + std::string(labels::drug_list) +
      "の「各先発医薬品の後発医薬品の有無に関する情報」欄と「診療報酬における加算等の算定対象から除外する品目」"
      "欄によります。その月以前の一覧がないときは最も古い一覧で代用し、その旨を表示します。</li>\n";
  html += "<li>" + std::string(labels::new_index_short) +
          " = 後発医薬品（3）÷（後発医薬品のある先発医薬品（2）"
          "＋ 後発医薬品（3））。☆・★の品目と除外品目は含めません。</li>\n";
  html += "<li>" + std::string(labels::cutoff) +
          " =（後発医薬品のある先発医薬品（2）＋ 後発医薬品（3））÷ 区分のある全医薬品。"
          "除外品目と生薬・漢方製剤（薬価基準コードが510・520で始まるもの）は分子・分母とも含めません。"
          "公式の算定では経腸成分栄養剤と特殊ミルク製剤も除きますが、この一覧からは判別できないため、"
          "これらは含めて計算しています。</li>\n";
  html +=
      "<li>区分できない行（Yリストや一覧に対応がない行）の数量はどちらの割合にも含めず、区分別の数量に示します。"
      "分母がない割合は0%ではなく「—」と表示します。</li>\n";
  html +=
      "<li>数量は小数第6位までの十進数として正確に合計し、割合は分子・分母から一度だけ四捨五入して"
      "小数第1位まで表示します。加算の基準（75%・85%・90%、カットオフ値50%）の判定は四捨五入前の値で行います。</li>\n";
  html += "<li>区分と計算式の出典: <a href=\"" + std::string(labels::source_url) + "\">" +
          std::string(labels::source_title) + "</a>（" + std::string(labels::source_url) + "）</li>\n";
  return html + "</ul>\n";
}

}  // namespace

std::string render_html(const ReportFigures& figures, const PageContext& context) {
  const MonthFigures& month = figures.months.front();
  const std::string month_name = labels::month_text(figures.yymm);
  const std::string pattern = "パターン" + std::to_string(figures.pattern);
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
      std::string(labels::title) + " " + month_name + " " + pattern + "</title>\n<style>" +
      std::string(style) + "</style>\n</head>\n<body>\n<main>\n";

  html += "<h1>" + std::string(labels::title) + "</h1>\n<p class=\"subtitle\">" + month_name + "・" +
          pattern + "</p>\n<dl class=\"meta\">\n";
  html += "<dt>対象年月</dt><dd id=\"yymm\">" + month_name + "（" + escaped(figures.yymm) + "）</dd>\n";
  html += "<dt>パターン</dt><dd id=\"pattern\">" + std::to_string(figures.pattern) + "</dd>\n";
  html += "<dt>" + std::string(labels::y_list) + "</dt><dd id=\"y-list-date\">" +
          (figures.y_list_date ? labels::date_text(*figures.y_list_date) + " 取込分"
                               : std::string(labels::no_list)) +
          "</dd>\n";
  html += "<dt>" + std::string(labels::drug_list) + "</dt><dd id=\"drug-list-date\">";
  if (month.drug_list_date) {
    html += labels::date_text(*month.drug_list_date) + " 適用分";
    if (month.drug_list_fallback)
      html += " <span class=\"warning\">（" + std::string(labels::drug_list_fallback) + "）</span>";
  } else {
    html += std::string(labels::no_list) +
            " <span class=\"warning\">（区分がわからないため、割合は計算できません）</span>";
  }
  html += "</dd>\n<dt>データベース</dt><dd>" + escaped(context.database) + "</dd>\n</dl>\n";

  html += "<h2>" + month_name + "の割合</h2>\n<div class=\"cards\" id=\"headline\">\n";
  for (bool is_inpatient : {true, false}) {
    html += card(month, is_inpatient, true);
    html += card(month, is_inpatient, false);
  }
  html += "</div>\n<p class=\"note\">加算の基準: " + std::string(labels::new_index_short) +
          " 75%・85%・90%以上、" + std::string(labels::cutoff) + " 50%以上（判定は四捨五入前の値）。</p>\n";

  html += "<h2>推移（" + labels::month_text(figures.months.back().yymm) + "〜" + month_name + "）</h2>\n";
  html += "<div class=\"charts\">\n";
  for (bool is_inpatient : {true, false})
    html += "<div>\n<h3>" + std::string(side_label(is_inpatient)) + "</h3>\n" +
            chart_svg(figures.months, is_inpatient) + "</div>\n";
  html += "</div>\n" + month_table(figures);

  html += "<h2>区分別の数量（" + month_name + "）</h2>\n" + quantity_table(month);
  html += "<h2>後発医薬品への切替えで割合が上がる先発医薬品（" + month_name + "）</h2>\n";
  html += "<p class=\"note\">後発医薬品のある先発医薬品（2）の数量上位" + std::to_string(top_brand_count) +
          "品目。上昇ポイントは、その数量がすべて後発医薬品だった場合に" +
          std::string(labels::new_index_short) + "が上がるポイント数（数量 ÷ 分母 × 100）です。</p>\n";
  html += brand_table(month.inpatient, true) + brand_table(month.outpatient, false);

  html += "<h2>データ品質（" + month_name + "）</h2>\n<div class=\"pair\">\n";
  html += quality_section(month.inpatient, true) + quality_section(month.outpatient, false) + "</div>\n";
  if (month.inpatient.quality.codes_duplicated_in_y + month.outpatient.quality.codes_duplicated_in_y > 0)
    html +=
        "<p class=\"note warning\">Yリストで同じ行が重複するレセプト電算コードがあります。集計時のYリストでも重複していた"
        "場合、EFn・EFgにはそのFファイルの行が重複して作成されており、その分だけ数量が多く数えられています。"
        "Yリストを確認し、取り込み直してください。</p>\n";

  html += rules_section(figures);
  html += "<footer>efload report で作成（作成日 " + labels::date_text(context.created_on) + "）</footer>\n";
  html += "</main>\n</body>\n</html>\n";
  return html;
}

std::string_view format_name(Format format) {
  switch (format) {
    case Format::html: return "html";
    case Format::csv: return "csv";
    case Format::json: return "json";
  }
  return "html";
}

std::string render(Format format, const ReportFigures& figures, const PageContext& context) {
  switch (format) {
    case Format::csv: return render_csv(figures, context);
    case Format::json: return render_json(figures);
    case Format::html: break;
  }
  return render_html(figures, context);
}

}  // namespace efi::report
