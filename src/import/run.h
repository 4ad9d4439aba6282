// The import run (Ins_EF): the six source steps in their fixed order, each in
// a transaction of its own, then the drug usage derivation, then the
// completion message. The run knows nothing of windows or terminals: it
// reports through a RunHost, which the window, efload and the tests implement.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/statement.h"

namespace efi::workbook {
class Converter;
}

namespace efi::import {

// The sources in run order; the index into RunKeys::sources.
enum class Source { en = 0, fn = 1, eg = 2, fg = 3, etc = 4, y = 5 };
constexpr std::size_t source_count = 6;

struct SourceInput {
  bool is_switched_on = true;  // the row's panel is not red
  std::string path;            // the row's file name box, UTF-8; empty skips the step
};

// What a run reads from its surroundings, taken once when it starts.
struct RunKeys {
  std::string yymm;                                  // year-month text, unchecked
  std::int64_t yymmkbn = 0;                          // 0: pattern 1, 1: pattern 2
  std::array<SourceInput, source_count> sources{};   // indexed by Source
};

// Why a step failed, for front ends that show more than the fixed message.
struct StepFailure {
  std::string step_message;  // the step's fixed message, e.g. "ENファイル取り込みエラー"
  std::string cause;         // the engine's text, or "file:line: what was wrong"
};

class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual void set_status(std::string_view text) = 0;  // status bar, first panel
  virtual void repaint() = 0;                          // repaint the window at once
  virtual void set_progress_max(int maximum) = 0;
  virtual void set_progress_position(int position) = 0;
  virtual void pump_messages() = 0;                    // process pending messages once
  // Plain box: OK only, no icon, the application's title. Shows only
  // failure.step_message; the cause is for hosts that print details.
  virtual void show_step_error(const StepFailure& failure) = 0;
  // The general error box (error icon) for a failure that stopped the run;
  // `text` already has the "." rule applied.
  virtual void show_general_error(std::string_view text) = 0;
  // Information box, flags 64, with its caption.
  virtual void show_completion(std::string_view text, std::string_view caption) = 0;
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
  workbook::Converter* converter = nullptr;    // for the drug list workbook
  std::string temp_csv_path;                   // executable folder + "vornexport.csv"
  std::function<std::string()> today_yyyymmdd; // the local date for the Y list
};
Environment default_environment(workbook::Converter& converter);

enum class RunOutcome {
  completed,            // reached the completion box, every step that ran succeeded
  completed_with_errors,// reached the completion box, a step failed
  stopped,              // a failure outside the steps stopped the run
};

// Ins_EF. Never throws: a failure that leaves the steps goes to the host's
// general error box and the run returns `stopped`.
RunOutcome run(const RunKeys& keys, db::Connection& connection, Statements& statements,
               RunHost& host, const Environment& environment);

// The general error box's text: "." is appended when the last character sorts
// above ".".
std::string general_error_text(std::string_view failure_text);

}  // namespace efi::import
