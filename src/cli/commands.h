// The commands of efload once the command line is understood. Each
// returns the process's exit status; failures the caller should report as
// "efload: ..." are thrown.
#pragma once

#include "cli/options.h"

namespace efi::cli {

// Exit statuses; the help text explains them.
enum ExitStatus : int {
  exit_ok = 0,           // every step that ran succeeded
  exit_step_failed = 1,  // a step failed, or init could not apply the schema
  exit_usage = 2,        // bad command line, or no database yet; nothing touched
  exit_stopped = 3,      // the run stopped before its end
};

// A database that `efload run` will not create on its own.
class MissingDatabase : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

int run_init(const Request& request);
int run_import(const Request& request);
// Prints the month before the current local month as YYYYMM.
int run_previous_month();

}  // namespace efi::cli
