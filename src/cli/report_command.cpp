// efload report: read the figures read-only, render, write the file whole,
// then print the headline.
#include "cli/report_command.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>

#include "cli/commands.h"
#include "platform/files.h"
#include "platform/replace_file.h"
#include "report/figures.h"
#include "report/render.h"

namespace efi::cli {
namespace {

// "new index 75.0% (30 / 40)": the share with what it was computed from.
std::string share_line(const char* name, const report::Ratio& ratio) {
  return std::string(name) + " " + report::percent_text(ratio) + " (" +
         report::grouped_text(ratio.numerator) + " / " + report::grouped_text(ratio.denominator) + ")";
}

std::string side_line(const char* side, const report::SideFigures& s) {
  std::string line = std::string(side) + ": ";
  if (!s.has_data()) return line + "no data";
  line += share_line("new index", s.new_index) + ", " + share_line("cut-off", s.cutoff);
  line += "; " + std::to_string(s.rows) + (s.rows == 1 ? " usage row" : " usage rows");
  return line;
}

// What kept rows out of the shares, when anything did.
std::string quality_line(const char* side, const report::Quality& q) {
  std::string parts;
  auto add = [&](std::int64_t count, const char* one, const char* many) {
    if (count > 0)
      parts += (parts.empty() ? "" : ", ") + std::to_string(count) + " " + (count == 1 ? one : many);
  };
  add(q.rows_without_e_match, "row without an E match", "rows without an E match");
  add(q.rows_amount_unreadable, "row whose amount is no number", "rows whose amount is no number");
  add(q.codes_not_in_y, "receipt code not in the Y list", "receipt codes not in the Y list");
  add(q.codes_ambiguous_in_y, "receipt code with several price-list codes",
      "receipt codes with several price-list codes");
  add(q.codes_duplicated_in_y, "receipt code on several Y list rows", "receipt codes on several Y list rows");
  add(q.codes_not_in_list, "price-list code not in the drug list", "price-list codes not in the drug list");
  add(q.codes_ambiguous_in_list + q.codes_unknown_class, "price-list code of no clear class",
      "price-list codes of no clear class");
  return parts.empty() ? std::string() : std::string("  data quality, ") + side + ": " + parts;
}

std::string default_output(const Request& request) {
  return "efimport-report-" + request.yymm + "." + std::string(report::format_name(request.format));
}

}  // namespace

int run_report(const Request& request) {
  // A read-only opening would not create the file either, but its error
  // would not say which option to fix.
  if (!platform::file_exists(request.database)) {
    throw MissingDatabase("the database " + request.database +
                          " does not exist (give the database efload run loaded with --db PATH)");
  }
  const report::ReportFigures figures =
      report::read_report(request.database, {request.yymm, request.pattern, request.months});

  const report::PageContext context{request.database, platform::format_yyyymmdd(platform::local_today())};
  const std::string output = request.out.empty() ? default_output(request) : request.out;
  try {
    platform::replace_file(output, report::render(request.format, figures, context));
  } catch (const std::system_error& error) {
    throw std::runtime_error("writing the report " + output + ": " + error.what() +
                             " (nothing was written; choose another file with --out)");
  }

  const report::MonthFigures& month = figures.months.front();
  std::printf("efload report: %s, pattern %d\n", figures.yymm.c_str(), figures.pattern);
  std::printf("  Y list %s; drug list %s%s\n", figures.y_list_date.value_or("(none loaded)").c_str(),
              month.drug_list_date.value_or("(none loaded)").c_str(),
              month.drug_list_fallback
                  ? " (none is dated on or before the month's end: the oldest list is used)"
                  : "");
  std::printf("  %s\n", side_line("inpatient", month.inpatient).c_str());
  std::printf("  %s\n", side_line("outpatient", month.outpatient).c_str());
  for (const auto& [side, s] :
       {std::pair{"inpatient", &month.inpatient}, std::pair{"outpatient", &month.outpatient}}) {
    const std::string line = quality_line(side, s->quality);
    if (!line.empty()) std::printf("%s\n", line.c_str());
  }
  std::printf("  written: %s\n", output.c_str());
  std::fflush(stdout);
  return exit_ok;
}

}  // namespace efi::cli
