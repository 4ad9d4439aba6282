// The CSV rendering, for Excel: UTF-8 with a byte-order mark (without one
// Excel reads the file as Shift_JIS and garbles the Japanese), CR LF line
// ends, and the page's tables one after the other, each under a title line
// and separated by an empty line.
#include "report/labels.h"
#include "report/render.h"

namespace efi::report {
namespace {

class CsvWriter {
 public:
  CsvWriter() { out_ = "\xEF\xBB\xBF"; }
  std::string take() { return std::move(out_); }

  void row(std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (std::string_view f : fields) {
      if (!first) out_ += ',';
      first = false;
      field(f);
    }
    out_ += "\r\n";
  }
  void blank() { out_ += "\r\n"; }

 private:
  void field(std::string_view f) {
    const bool needs_quotes = f.find_first_of(",\"\r\n") != std::string_view::npos ||
                              (!f.empty() && (f.front() == ' ' || f.back() == ' '));
    if (!needs_quotes) {
      out_ += f;
      return;
    }
    out_ += '"';
    for (char c : f) {
      if (c == '"') out_ += '"';
      out_ += c;
    }
    out_ += '"';
  }

  std::string out_;  // the file so far, from its byte-order mark on
};

std::string_view side_name(bool is_inpatient) {
  return is_inpatient ? labels::inpatient : labels::outpatient;
}

// The share as the page shows it: "75.0%", "—" or "データなし".
std::string share_cell(const SideFigures& s, const Ratio& r) {
  return s.has_data() ? percent_text(r) : std::string(labels::no_data);
}

void quality_rows(CsvWriter& w, std::string_view side, std::string_view item,
                  const std::vector<QualityCode>& codes) {
  for (const QualityCode& c : codes) {
    std::string price_codes;
    for (const std::string& p : c.price_codes) price_codes += (price_codes.empty() ? "" : " ") + p;
    w.row({side, item, c.code, c.name, std::to_string(c.rows), plain_text(c.quantity), price_codes});
  }
}

}  // namespace

std::string render_csv(const ReportFigures& figures, const PageContext& context) {
  CsvWriter w;
  const MonthFigures& month = figures.months.front();
  const std::string month_note = "（" + labels::month_text(month.yymm) + "）";

  w.row({labels::title});
  w.row({"対象年月", figures.yymm});
  w.row({"パターン", std::to_string(figures.pattern)});
  w.row({labels::y_list, figures.y_list_date.value_or(std::string(labels::no_list))});
  w.row({"データベース", context.database});
  w.row({"作成日", context.created_on});
  w.blank();

  w.row({"月別の割合"});
  w.row({"年月", "区分", "行数", labels::drug_list, "代用", labels::new_index_short, "置換え率の分子",
         "置換え率の分母", labels::cutoff, "カットオフ値の分子", "カットオフ値の分母"});
  for (const MonthFigures& m : figures.months) {
    for (bool is_inpatient : {true, false}) {
      const SideFigures& s = is_inpatient ? m.inpatient : m.outpatient;
      w.row({m.yymm, side_name(is_inpatient), std::to_string(s.rows),
             m.drug_list_date.value_or(std::string(labels::no_list)), m.drug_list_fallback ? "代用" : "",
             share_cell(s, s.new_index), plain_text(s.new_index.numerator),
             plain_text(s.new_index.denominator), share_cell(s, s.cutoff), plain_text(s.cutoff.numerator),
             plain_text(s.cutoff.denominator)});
    }
  }
  w.blank();

  w.row({"区分別の数量" + month_note});
  w.row({"区分", "記号", labels::inpatient, labels::outpatient});
  for (DrugClass c : all_drug_classes) {
    w.row({labels::class_name(c), flag_of(c), plain_text(month.inpatient.quantity.of(c)),
           plain_text(month.outpatient.quantity.of(c))});
  }
  w.row({labels::excluded, "除外", plain_text(month.inpatient.quantity.excluded),
         plain_text(month.outpatient.quantity.excluded)});
  w.row({labels::unclassified, "", plain_text(month.inpatient.quantity.unclassified),
         plain_text(month.outpatient.quantity.unclassified)});
  w.row({labels::crude_and_kampo, "", plain_text(month.inpatient.quantity.crude_and_kampo),
         plain_text(month.outpatient.quantity.crude_and_kampo)});
  w.blank();

  w.row({"後発医薬品への切替えで割合が上がる先発医薬品" + month_note});
  w.row({"区分", "順位", "薬価基準コード", "成分名", "品名", "数量", "上昇ポイント"});
  for (bool is_inpatient : {true, false}) {
    const SideFigures& s = is_inpatient ? month.inpatient : month.outpatient;
    for (std::size_t i = 0; i < s.top_brand.size(); ++i) {
      const BrandUsage& b = s.top_brand[i];
      w.row({side_name(is_inpatient), std::to_string(i + 1), b.code, b.ingredient, b.product,
             plain_text(b.quantity), gain_points_text(b.quantity, s.new_index.denominator)});
    }
  }
  w.blank();

  w.row({"データ品質" + month_note});
  w.row({"区分", "項目", "件数"});
  for (bool is_inpatient : {true, false}) {
    const Quality& q = (is_inpatient ? month.inpatient : month.outpatient).quality;
    const std::string_view side = side_name(is_inpatient);
    w.row({side, labels::rows_without_e_match, std::to_string(q.rows_without_e_match)});
    w.row({side, labels::rows_amount_unreadable, std::to_string(q.rows_amount_unreadable)});
    w.row({side, labels::codes_not_in_y, std::to_string(q.codes_not_in_y)});
    w.row({side, labels::codes_ambiguous_in_y, std::to_string(q.codes_ambiguous_in_y)});
    w.row({side, labels::codes_duplicated_in_y, std::to_string(q.codes_duplicated_in_y)});
    w.row({side, labels::codes_not_in_list, std::to_string(q.codes_not_in_list)});
    w.row({side, labels::codes_ambiguous_in_list, std::to_string(q.codes_ambiguous_in_list)});
    w.row({side, labels::codes_unknown_class, std::to_string(q.codes_unknown_class)});
  }
  w.blank();

  w.row({"データ品質の内訳" + month_note});
  w.row({"区分", "項目", "コード", "名称", "行数", "数量", "対応する薬価基準コード"});
  for (bool is_inpatient : {true, false}) {
    const Quality& q = (is_inpatient ? month.inpatient : month.outpatient).quality;
    const std::string_view side = side_name(is_inpatient);
    quality_rows(w, side, labels::rows_without_e_match, q.without_e_match);
    quality_rows(w, side, labels::codes_not_in_y, q.not_in_y);
    quality_rows(w, side, labels::codes_ambiguous_in_y, q.ambiguous_in_y);
    quality_rows(w, side, labels::codes_not_in_list, q.not_in_list);
  }
  return w.take();
}

}  // namespace efi::report
