// The line chart of one side's two shares across the months, as inline SVG:
// the new index and the cut-off value per month (oldest on the left), the
// additions' steps at 75 %, 85 % and 90 % and the cut-off's 50 % as reference
// lines. A month without data or without a denominator leaves a gap.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/figures.h"

namespace efi::report {

// `months` newest first, as ReportFigures holds them; `is_inpatient` picks the side.
std::string chart_svg(const std::vector<MonthFigures>& months, bool is_inpatient);

// `text` with &, <, >, " and ' written as entities, for HTML and SVG.
std::string escaped(std::string_view text);

}  // namespace efi::report
