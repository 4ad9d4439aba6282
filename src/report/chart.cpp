// The SVG line chart: fixed geometry, a 0-100 % axis, reference lines, one
// polyline per unbroken run of months and a labelled point per month.
#include "report/chart.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "report/labels.h"

namespace efi::report {
namespace {

// Geometry in SVG user units; the SVG scales to the width it is given.
constexpr double width = 520, height = 290;
constexpr double left = 46, right = 96, top = 30, bottom = 52;
constexpr double plot_width = width - left - right, plot_height = height - top - bottom;

// A reference line: the percentage, its label, the share it belongs to.
struct Reference {
  int percent;            // where it is drawn
  const char* label;      // beside it, right of the plot
  const char* css_class;  // ref-new (the additions' steps) or ref-cutoff
};
constexpr Reference references[] = {
    {90, "90%", "ref-new"},
    {85, "85%", "ref-new"},
    {75, "75%", "ref-new"},
    {50, "50% カットオフ", "ref-cutoff"},
};

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

double y_of_permille(std::int64_t permille) {
  const double clamped = std::min<double>(std::max<double>(static_cast<double>(permille), 0), 1000);
  return top + plot_height * (1.0 - clamped / 1000.0);
}

// One series: its points (x, y, tooltip) in month order, nullopt for gaps.
struct Point {
  double x, y;
  std::string label;    // "75.0%"
  std::string tooltip;  // month, share, numerator / denominator
};

std::string series_svg(const std::vector<std::optional<Point>>& points, const char* css_class,
                       bool label_above) {
  std::string svg;
  // One polyline per run of months with a share: a gap is never bridged.
  std::string run;
  std::size_t run_points = 0;
  auto flush = [&] {
    if (run_points >= 2)
      svg += "<polyline class=\"" + std::string(css_class) + "\" points=\"" + run + "\"/>\n";
    run.clear();
    run_points = 0;
  };
  for (const auto& p : points) {
    if (!p) {
      flush();
      continue;
    }
    run += (run.empty() ? "" : " ") + number(p->x) + "," + number(p->y);
    ++run_points;
  }
  flush();
  for (const auto& p : points) {
    if (!p) continue;
    svg += "<circle class=\"" + std::string(css_class) + "-point\" cx=\"" + number(p->x) + "\" cy=\"" +
           number(p->y) + "\" r=\"3.5\"><title>" + escaped(p->tooltip) + "</title></circle>\n";
    svg += "<text class=\"point-label " + std::string(css_class) + "-label\" x=\"" + number(p->x) +
           "\" y=\"" + number(label_above ? p->y - 8 : p->y + 16) + "\" text-anchor=\"middle\">" +
           escaped(p->label) + "</text>\n";
  }
  return svg;
}

}  // namespace

std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string chart_svg(const std::vector<MonthFigures>& months, bool is_inpatient) {
  const std::string side = is_inpatient ? "inpatient" : "outpatient";
  const std::string side_label(is_inpatient ? labels::inpatient : labels::outpatient);
  const std::size_t n = months.size();
  const double step = plot_width / static_cast<double>(n);
  auto x_of = [&](std::size_t oldest_first) {
    return left + step * (static_cast<double>(oldest_first) + 0.5);
  };
  constexpr std::size_t max_labels = 8;
  const std::size_t label_every = (n + max_labels - 1) / max_labels;

  std::string svg = "<svg class=\"chart\" id=\"chart-" + side +
                    "\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + number(width) + " " +
                    number(height) + "\" role=\"img\" aria-label=\"" + escaped(side_label) + "の" +
                    std::string(labels::new_index_short) + "と" + std::string(labels::cutoff) + "の推移\">\n";
  svg += "<rect class=\"plot\" x=\"" + number(left) + "\" y=\"" + number(top) + "\" width=\"" +
         number(plot_width) + "\" height=\"" + number(plot_height) + "\"/>\n";
  for (int percent = 0; percent <= 100; percent += 25) {
    const double y = y_of_permille(percent * 10);
    svg += "<line class=\"grid\" x1=\"" + number(left) + "\" y1=\"" + number(y) + "\" x2=\"" +
           number(left + plot_width) + "\" y2=\"" + number(y) + "\"/>\n";
    svg += "<text class=\"axis\" x=\"" + number(left - 6) + "\" y=\"" + number(y + 4) +
           "\" text-anchor=\"end\">" + std::to_string(percent) + "%</text>\n";
  }
  for (const Reference& r : references) {
    const double y = y_of_permille(r.percent * 10);
    svg += "<line class=\"ref " + std::string(r.css_class) + "\" data-percent=\"" +
           std::to_string(r.percent) + "\" x1=\"" + number(left) + "\" y1=\"" + number(y) + "\" x2=\"" +
           number(left + plot_width) + "\" y2=\"" + number(y) + "\"/>\n";
    svg += "<text class=\"ref-label " + std::string(r.css_class) + "-label\" x=\"" +
           number(left + plot_width + 5) + "\" y=\"" + number(y + 4) + "\">" + escaped(r.label) + "</text>\n";
  }

  // Oldest month on the left.
  std::vector<std::optional<Point>> new_index(n), cutoff(n);
  for (std::size_t i = 0; i < n; ++i) {
    const MonthFigures& m = months[n - 1 - i];
    const SideFigures& s = is_inpatient ? m.inpatient : m.outpatient;
    const double x = x_of(i);
    const std::string yymm = m.yymm.size() == 6 ? m.yymm.substr(0, 4) + "/" + m.yymm.substr(4) : m.yymm;
    // Up to eight month labels fit; beyond, every k-th month is labelled,
    // the newest always.
    if ((n - 1 - i) % label_every == 0)
      svg += "<text class=\"axis month\" x=\"" + number(x) + "\" y=\"" + number(top + plot_height + 18) +
             "\" text-anchor=\"middle\">" + escaped(yymm) + "</text>\n";
    if (!s.has_data()) {
      if (n <= max_labels) {
        svg += "<text class=\"axis no-data\" x=\"" + number(x) + "\" y=\"" + number(top + plot_height + 34) +
               "\" text-anchor=\"middle\">" + std::string(labels::no_data) + "</text>\n";
      } else {
        svg += "<text class=\"axis no-data\" x=\"" + number(x) + "\" y=\"" + number(top + plot_height - 6) +
               "\" text-anchor=\"middle\">×<title>" + escaped(yymm) + " " + std::string(labels::no_data) +
               "</title></text>\n";
      }
      continue;
    }
    auto point = [&](const Ratio& r, std::string_view name) -> std::optional<Point> {
      const std::optional<std::int64_t> permille = share_permille(r);
      if (!permille) return std::nullopt;
      return Point{x, y_of_permille(*permille), percent_text(r),
                   labels::month_text(m.yymm) + " " + std::string(name) + " " + percent_text(r) + "（" +
                       grouped_text(r.numerator) + " / " + grouped_text(r.denominator) + "）"};
    };
    new_index[i] = point(s.new_index, labels::new_index_short);
    cutoff[i] = point(s.cutoff, labels::cutoff);
  }
  svg += series_svg(cutoff, "line-cutoff", false);
  svg += series_svg(new_index, "line-new", true);

  // Legend, above the plot.
  svg += "<line class=\"line-new\" x1=\"" + number(left) + "\" y1=\"14\" x2=\"" + number(left + 24) +
         "\" y2=\"14\"/>\n";
  svg += "<text class=\"legend\" x=\"" + number(left + 30) + "\" y=\"18\">" +
         std::string(labels::new_index_short) + "</text>\n";
  svg += "<line class=\"line-cutoff\" x1=\"" + number(left + 110) + "\" y1=\"14\" x2=\"" +
         number(left + 134) + "\" y2=\"14\"/>\n";
  svg += "<text class=\"legend\" x=\"" + number(left + 140) + "\" y=\"18\">" + std::string(labels::cutoff) +
         "</text>\n";
  svg += "</svg>\n";
  return svg;
}

}  // namespace efi::report
