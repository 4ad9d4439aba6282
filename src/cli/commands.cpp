// efload init and efload run.
#include "cli/commands.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "cli/summary.h"
#include "cli/temporary_csv.h"
#include "cli/terminal_host.h"
#include "db/connection.h"
#include "db/schema.h"
#include "import/steps.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "report/figures.h"
#include "workbook/converter.h"

namespace efi::cli {
namespace {

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
    case import::RunOutcome::interrupted: break;  // 128 + the signal's number
  }
  return exit_step_failed;
}

// What an interrupted run did: which step it stopped in, undone.
std::string interruption_text(const import::RunReport& report) {
  for (const import::StepReport& step : report.steps) {
    if (step.outcome != import::StepOutcome::stopped) continue;
    std::string tables;
    for (const import::TableDef& table : step.step->tables) {
      tables += (tables.empty() ? "" : ", ") + std::string(table.name);
    }
    return "interrupted during the step that replaces the rows of " + tables +
           "; that step was rolled back, and the steps after it and the derivation did not run";
  }
  return "interrupted; the steps not yet run and the derivation did not run";
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

// The year-month the window preselects. Batch files ask efload for it:
// cmd's %DATE% is written as each PC's regional settings say.
int run_previous_month() {
  const std::string this_month = platform::format_yyyymmdd(platform::local_today()).substr(0, 6);
  std::printf("%s\n", report::months_back(this_month, 2).back().c_str());
  return exit_ok;
}

int run_import(const Request& request) {
  // The connection would create a missing file, and every step would then
  // fail on missing tables: refuse before anything is written.
  if (!platform::file_exists(request.database)) {
    throw MissingDatabase("the database " + request.database +
                          " does not exist (create it with 'efload init --db " + request.database + "')");
  }
  const import::RunKeys keys = run_keys_of(request);
  TerminalHost host(stderr, stdout, platform::is_terminal(stderr), request.print_timings);

  std::unique_ptr<workbook::Converter> converter = workbook::make_default_converter();
  import::Environment environment = import::default_environment(*converter);
  const std::string folder = platform::executable_folder();
  environment.temp_csv_path = temporary_csv_path(folder);
  environment.remove_stale_temp_files = [folder] { remove_stale_temporary_csvs(folder); };
  // Ctrl+C or a scheduler's SIGTERM stops the run at its next row, rolled back.
  platform::watch_interrupts();
  environment.stop_requested = [] { return platform::interrupt_signal() != 0; };

  import::RunReport report;
  {
    db::Connection connection(request.database);
    {
      import::Statements statements(connection);
      report = import::run(keys, connection, statements, host, environment);
    }
    // Statements are finalized first, so closing releases the exclusive lock.
    connection.close();
  }
  host.finish();

  // Every table of every step that committed, under the key the step used.
  std::vector<ChangedTable> changed;
  for (const import::StepReport& step : report.steps) {
    if (step.outcome != import::StepOutcome::committed) continue;
    for (const import::TableDef& table : step.step->tables) {
      changed.push_back({std::string(table.name), step.step->key, step.key});
    }
  }
  for (const std::string& line : summary_lines(request.database, changed)) {
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  if (report.outcome == import::RunOutcome::interrupted) {
    std::fprintf(stderr, "efload: %s\n", interruption_text(report).c_str());
    platform::interrupts_handled();
    return 128 + platform::interrupt_signal();
  }
  return exit_status_of(report.outcome);
}

}  // namespace efi::cli
