// The JSON rendering: the machine interface. Quantities are exact decimal
// numbers, shares fractions or null; keys as documented in the README.
#include <cstdio>

#include "report/render.h"

namespace efi::report {
namespace {

// A small writer for indented JSON: objects and arrays nest, commas and
// indentation follow from the nesting.
class JsonWriter {
 public:
  std::string take() { return std::move(out_); }

  void begin_object(std::string_view key = {}) { open(key, '{'); }
  void end_object() { close('}'); }
  void begin_array(std::string_view key = {}) { open(key, '['); }
  void end_array() { close(']'); }

  void string(std::string_view key, std::string_view value) { item(key, quoted(value)); }
  void optional_string(std::string_view key, const std::optional<std::string>& value) {
    item(key, value ? quoted(*value) : "null");
  }
  void number(std::string_view key, std::int64_t value) { item(key, std::to_string(value)); }
  void number(std::string_view key, Quantity value) { item(key, plain_text(value)); }
  void number(std::string_view key, const std::optional<double>& value) {
    item(key, value ? shortest_text(*value) : "null");
  }
  void boolean(std::string_view key, bool value) { item(key, value ? "true" : "false"); }

 private:
  static std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out += static_cast<char>(c);  // UTF-8 stays as it is
      }
    }
    return out + "\"";
  }
  void item(std::string_view key, const std::string& value) {
    separate();
    if (in_object_.back()) out_ += quoted(key) + ": ";
    out_ += value;
  }
  void separate() {
    if (in_object_.empty()) return;
    if (!is_first_.back()) out_ += ',';
    is_first_.back() = false;
    out_ += '\n' + std::string(2 * in_object_.size(), ' ');
  }
  void open(std::string_view key, char bracket) {
    if (!in_object_.empty()) {
      separate();
      if (in_object_.back()) out_ += quoted(key) + ": ";
    }
    out_ += bracket;
    in_object_.push_back(bracket == '{');
    is_first_.push_back(true);
  }
  void close(char bracket) {
    const bool was_empty = is_first_.back();
    in_object_.pop_back();
    is_first_.pop_back();
    if (!was_empty) out_ += '\n' + std::string(2 * in_object_.size(), ' ');
    out_ += bracket;
    if (in_object_.empty()) out_ += '\n';
  }

  std::string out_;
  std::vector<bool> in_object_;  // per open level: an object (keys) or an array
  std::vector<bool> is_first_;   // per open level: nothing written in it yet
};

// Opens the ratio's object; the caller may add to it and closes it.
void begin_ratio(JsonWriter& w, std::string_view key, const Ratio& r) {
  w.begin_object(key);
  w.number("numerator", r.numerator);
  w.number("denominator", r.denominator);
  w.number("share", share_fraction(r));
}

void quality_codes(JsonWriter& w, std::string_view key, const std::vector<QualityCode>& codes) {
  w.begin_array(key);
  for (const QualityCode& c : codes) {
    w.begin_object();
    w.string("code", c.code);
    w.string("name", c.name);
    w.number("rows", c.rows);
    w.number("quantity", c.quantity);
    if (!c.price_codes.empty()) {
      w.begin_array("price_codes");
      for (const std::string& p : c.price_codes) w.string({}, p);
      w.end_array();
    }
    w.end_object();
  }
  w.end_array();
}

void side(JsonWriter& w, std::string_view key, const SideFigures& s) {
  w.begin_object(key);
  w.number("rows", s.rows);
  w.begin_object("quantity");
  for (DrugClass c : all_drug_classes) w.number(flag_of(c), s.quantity.of(c));
  w.number("excluded", s.quantity.excluded);
  w.number("unclassified", s.quantity.unclassified);
  w.end_object();
  begin_ratio(w, "new_index", s.new_index);
  w.end_object();
  begin_ratio(w, "cutoff", s.cutoff);
  w.number("crude_and_kampo", s.quantity.crude_and_kampo);  // classified, left out of the cut-off
  w.end_object();
  w.begin_array("top_brand");
  for (const BrandUsage& b : s.top_brand) {
    w.begin_object();
    w.string("code", b.code);
    w.string("ingredient", b.ingredient);
    w.string("product", b.product);
    w.number("quantity", b.quantity);
    w.number("gain_points", gain_points(b.quantity, s.new_index.denominator));
    w.end_object();
  }
  w.end_array();
  const Quality& q = s.quality;
  w.begin_object("quality");
  w.number("rows_without_e_match", q.rows_without_e_match);
  w.number("codes_not_in_y", q.codes_not_in_y);
  w.number("codes_ambiguous_in_y", q.codes_ambiguous_in_y);
  w.number("codes_not_in_list", q.codes_not_in_list);
  w.number("rows_amount_unreadable", q.rows_amount_unreadable);
  w.number("codes_duplicated_in_y", q.codes_duplicated_in_y);
  w.number("codes_ambiguous_in_list", q.codes_ambiguous_in_list);
  w.number("codes_unknown_class", q.codes_unknown_class);
  w.end_object();
  w.begin_object("quality_codes");
  quality_codes(w, "without_e_match", q.without_e_match);
  quality_codes(w, "not_in_y", q.not_in_y);
  quality_codes(w, "ambiguous_in_y", q.ambiguous_in_y);
  quality_codes(w, "not_in_list", q.not_in_list);
  w.end_object();
  w.end_object();
}

}  // namespace

std::string render_json(const ReportFigures& figures) {
  JsonWriter w;
  w.begin_object();
  w.string("yymm", figures.yymm);
  w.number("pattern", std::int64_t{figures.pattern});
  w.optional_string("y_list_date", figures.y_list_date);
  w.begin_array("months");
  for (const MonthFigures& m : figures.months) {
    w.begin_object();
    w.string("yymm", m.yymm);
    w.optional_string("drug_list_date", m.drug_list_date);
    w.boolean("drug_list_fallback", m.drug_list_fallback);
    side(w, "inpatient", m.inpatient);
    side(w, "outpatient", m.outpatient);
    w.end_object();
  }
  w.end_array();
  w.end_object();
  return w.take();
}

}  // namespace efi::report
