// efload report: the generic drug share report of a month, written as a page,
// CSV or JSON, with its headline figures on standard output.
#pragma once

#include "cli/options.h"

namespace efi::cli {

// Returns exit_ok once the file is written. A missing database is thrown as
// MissingDatabase (a usage error: nothing was touched); every other failure
// (the database locked or unreadable, no rows for the month, the file not
// written) as std::runtime_error with the message for the operator.
int run_report(const Request& request);

}  // namespace efi::cli
