// efload init and efload run.
#include "cli/commands.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "cli/summary.h"
#include "cli/terminal_host.h"
#include "db/connection.h"
#include "db/schema.h"
#include "import/path_rules.h"
#include "platform/files.h"
#include "workbook/converter.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define efi_isatty _isatty
#define efi_fileno _fileno
#define efi_getpid _getpid
#else
#include <unistd.h>
#define efi_isatty isatty
#define efi_fileno fileno
#define efi_getpid getpid
#endif

namespace efi::cli {
namespace {

// Tables of the six sources and of the derivation, in run order.
struct TableOfStep {
  std::size_t step;     // index into TerminalHost's step states
  const char* table;    // the table the step replaces rows in
};
constexpr TableOfStep tables_of_steps[] = {
    {0, "En"}, {1, "Fn"}, {2, "Eg"}, {3, "Fg"}, {4, "kyak"}, {5, "yak"},
    {derivation_index, "EFn"}, {derivation_index, "EFg"},
};

import::RunKeys run_keys_of(const Request& request) {
  import::RunKeys keys;
  keys.yymm = request.yymm;
  keys.yymmkbn = yymmkbn_of_pattern(request.pattern);
  for (std::size_t i = 0; i < import::source_count; ++i) {
    keys.sources[i].is_switched_on = !request.sources[i].empty();
    keys.sources[i].path = request.sources[i];
  }
  return keys;
}

int exit_status_of(import::RunOutcome outcome) {
  switch (outcome) {
    case import::RunOutcome::completed: return exit_ok;
    case import::RunOutcome::completed_with_errors: return exit_step_failed;
    case import::RunOutcome::stopped: return exit_stopped;
  }
  return exit_step_failed;
}

}  // namespace

int run_init(const Request& request) {
  try {
    db::apply_schema(request.database);
  } catch (const std::exception& error) {
    throw std::runtime_error("applying the schema to " + request.database + ": " + error.what());
  }
  std::printf("efload: the schema is in place in %s\n", request.database.c_str());
  return exit_ok;
}

int run_import(const Request& request) {
  // The connection would create a missing file, and every step would then
  // fail on missing tables: refuse before anything is written.
  if (!platform::file_exists(request.database)) {
    throw MissingDatabase("the database " + request.database +
                          " does not exist (create it with 'efload init --db " + request.database +
                          "')");
  }
  const import::RunKeys keys = run_keys_of(request);
  TerminalHost host(stderr, stdout, efi_isatty(efi_fileno(stderr)) != 0, request.print_timings);

  std::unique_ptr<workbook::Converter> converter = workbook::make_default_converter();
  import::Environment environment = import::default_environment(*converter);
  // The window's one fixed name would let two loads started at once (a script,
  // a scheduled job) convert into and delete each other's file: one per process.
  environment.temp_csv_path =
      platform::executable_folder() + "vornexport-" + std::to_string(efi_getpid()) + ".csv";
  // Note the date the Y step keys its rows by, for the summary.
  std::string y_date;
  environment.today_yyyymmdd = [today = environment.today_yyyymmdd, &y_date] {
    y_date = today();
    return y_date;
  };

  import::RunOutcome outcome;
  {
    db::Connection connection(request.database);
    {
      import::Statements statements(connection);
      outcome = import::run(keys, connection, statements, host, environment);
    }
    // Statements are finalized first, so closing releases the exclusive lock.
    connection.close();
  }
  host.finish();

  std::vector<ChangedTable> changed;
  for (const TableOfStep& entry : tables_of_steps) {
    if (host.step_state(entry.step) != StepState::started) continue;
    ChangedTable table{entry.table, false, {}};
    if (entry.step == static_cast<std::size_t>(import::Source::etc)) {
      table.is_date_keyed = true;
      table.ymd = import::list_date_from_file_name(request.sources[entry.step]);
    } else if (entry.step == static_cast<std::size_t>(import::Source::y)) {
      table.is_date_keyed = true;
      table.ymd = y_date;
    }
    changed.push_back(std::move(table));
  }
  for (const std::string& line : summary_lines(request.database, {keys.yymm, keys.yymmkbn}, changed)) {
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  return exit_status_of(outcome);
}

}  // namespace efi::cli
