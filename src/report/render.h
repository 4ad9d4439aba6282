// The renderings of the figures: one self-contained HTML page (Japanese,
// inline SVG charts, no script, nothing fetched), CSV for Excel (UTF-8 with a
// byte-order mark, so Excel keeps the Japanese text) and JSON for programs.
// All three show the same figures; quantities are exact decimals and every
// share comes with its numerator and denominator.
#pragma once

#include <string>
#include <string_view>

#include "report/figures.h"

namespace efi::report {

// What a rendering shows besides the figures.
struct PageContext {
  std::string database;    // the database file as given
  std::string created_on;  // "yyyymmdd": the day the report was made
};

enum class Format { html, csv, json };

std::string render_html(const ReportFigures& figures, const PageContext& context);
std::string render_csv(const ReportFigures& figures, const PageContext& context);
std::string render_json(const ReportFigures& figures);
std::string render(Format format, const ReportFigures& figures, const PageContext& context);

// "html", "csv", "json": the file name extension and the --format value.
std::string_view format_name(Format format);

}  // namespace efi::report
