// The import run (Ins_EF): the six source steps in their fixed order, each in
// a transaction of its own, then the drug usage derivation, then the
// completion message. The run knows nothing of windows or terminals: it
// reports through a RunHost, which the window, efload and the tests
// implement, and when it returns it hands back a report of what each step
// did, so no front end has to recognise a step by the texts it showed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "import/failure.h"

namespace efi::workbook {
class Converter;
}

namespace efi::import {

struct StepDef;

// The sources in run order; the index into RunKeys::sources.
enum class Source { en = 0, fn = 1, eg = 2, fg = 3, etc = 4, y = 5 };
constexpr std::size_t source_count = 6;

struct SourceInput {
  bool is_switched_on = true;  // the row's panel is not red
  std::string path;            // the row's file name box, UTF-8; empty skips the step
};

// What a run reads from its surroundings, taken once when it starts.
struct RunKeys {
  std::string yymm;                                 // year-month text, unchecked
  std::int64_t yymmkbn = 0;                         // 0: pattern 1, 1: pattern 2
  std::array<SourceInput, source_count> sources{};  // indexed by Source
};

// One named value of a step's key, as its deletes and inserts bind it.
struct KeyValue {
  std::string_view parameter;                     // yymm, yymmkbn or ymd
  std::variant<std::string, std::int64_t> value;  // a text, or the pattern number
};

// The key a step's rows are written under, taken once when the step starts:
// year-month and pattern, the drug list's date, or the Y list's import day.
struct StepKey {
  std::vector<KeyValue> values;  // in the order its condition names them; empty: not taken
};

// "yymm 202110, yymmkbn 0" or "ymd 20211101".
std::string key_text(const StepKey& key);

enum class StepOutcome {
  skipped,    // switched off or no file name: nothing touched
  committed,  // its deletes and inserts are in the database
  failed,     // rolled back and reported with its message; the run went on
  stopped,    // the run stopped inside it (a bad path, a failing roll-back, an
              // interruption); it changed nothing
};

// What one step did.
struct StepReport {
  const StepDef* step = nullptr;  // its row of the step table
  StepOutcome outcome = StepOutcome::skipped;
  StepKey key;                      // the key it used; empty when it never took one
  std::uint64_t rows_inserted = 0;  // rows its inserts added, also when rolled back later
  std::optional<Failure> failure;   // failed or stopped: why
  double wall_seconds = 0;          // from its entry to its end; 0 when skipped
  double cpu_seconds = 0;           // this process's CPU time over the same span
};

enum class RunOutcome {
  completed,              // reached the completion box, every step that ran succeeded
  completed_with_errors,  // reached the completion box, a step failed
  stopped,                // a failure outside the steps' protected regions stopped the run
  interrupted,            // a request to stop: the step under way rolled back, nothing after it ran
};

struct RunReport {
  RunOutcome outcome = RunOutcome::completed;
  std::vector<StepReport> steps;  // every step the run reached, in run order
};

// A step's failure as the host is shown it.
struct StepFailure {
  std::string_view step_message;  // the step's fixed message, e.g. "ENファイル取り込みエラー"
  const Failure& failure;         // why, for hosts that print details
};

class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual void set_status(std::string_view text) = 0;  // status bar, first panel
  virtual void repaint() = 0;                          // repaint the window at once
  virtual void set_progress_max(int maximum) = 0;
  virtual void set_progress_position(int position) = 0;
  virtual void pump_messages() = 0;  // process pending messages once
  // Plain box: OK only, no icon, the application's title. Shows only
  // failure.step_message; the record is for hosts that print details.
  virtual void show_step_error(const StepFailure& failure) = 0;
  // The general error box (error icon) for a failure that stopped the run;
  // `text` already has the "." rule applied.
  virtual void show_general_error(std::string_view text) = 0;
  // Information box, flags 64, with its caption.
  virtual void show_completion(std::string_view text, std::string_view caption) = 0;
  // A step that ran has ended (committed, failed or stopped), with what it
  // did; the window has nothing to show for it.
  virtual void step_finished(const StepReport& report) {}
};

// The nine statement objects, owned by the window (or efload) for its life.
struct Statements {
  explicit Statements(db::Connection& connection);
  db::Statement en, fn, eg, fg, etc, y;  // FDQ_EN ... FDQ_Y: inserts, text parameters
  db::Statement del;                     // FDQ_DEL: the shared delete, untyped
  db::Statement efn, efg;                // FDQ_EFN, FDQ_EFG: the derivation
};

// What the run takes from the machine; replaceable in tests.
struct Environment {
  workbook::Converter* converter = nullptr;     // for the drug list workbook
  std::string temp_csv_path;                    // executable folder + "vornexport.csv"
  std::function<std::string()> today_yyyymmdd;  // the local date for the Y list
  // Removes the temporary CSVs that crashed runs left behind, before a
  // conversion; none: only temp_csv_path itself is removed.
  std::function<void()> remove_stale_temp_files;
  // True once the run should stop (efload: Ctrl+C or SIGTERM arrived). Asked
  // before each step, at each row and when a conversion returns; none: never.
  std::function<bool()> stop_requested;
};
Environment default_environment(workbook::Converter& converter);

// Ins_EF. Never throws: a failure that leaves the steps goes to the host's
// general error box and the run returns with the outcome `stopped`; a stop
// request rolls the step under way back and returns `interrupted`, without a
// box.
RunReport run(const RunKeys& keys, db::Connection& connection, Statements& statements, RunHost& host,
              const Environment& environment);

// The general error box's text: "." is appended when the last character sorts
// above ".".
std::string general_error_text(std::string_view failure_text);

}  // namespace efi::import
