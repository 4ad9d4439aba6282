// The frame shared by the six source steps, and the derivation's own frame.
//
// A source step: entry test, status text and repaint, the path check of the
// drug lists (outside the protected region, so a bad path stops the run),
// then in one transaction: take the key, delete the key's rows, read the
// file, and per line progress, split, bind, insert, pump; commit. Any
// failure inside is rolled back first, then reported with the step's own
// message, and the run goes on; a failing roll-back leaves the frame and
// stops the run.
#pragma once

#include <cstddef>
#include <exception>
#include <vector>

#include "db/connection.h"
#include "import/run.h"
#include "import/steps.h"

namespace efi::import {

// Thrown at a checkpoint once the environment asks the run to stop; the step
// under way rolls back and the run ends.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "interrupted"; }
};

// Throws Interrupted when the run has been asked to stop.
struct RunContext;
void check_stop(const RunContext& context);

// What one run hands to each of its steps.
struct RunContext {
  const RunKeys& keys;             // taken once when the run started
  db::Connection& connection;      // FDC1
  Statements& statements;          // FDQ_*
  RunHost& host;                   // status, progress, message boxes
  const Environment& environment;  // converter, temporary CSV, clock
};

// Runs one source step into `report` (outcome, key, rows, failure). Throws
// only what must stop the run: an invalid path, a failing roll-back, a
// failing host outside the protected region; `report` then holds what the
// step had done so far.
void run_source_step(const StepDef& step, RunContext& context, StepReport& report);

// Rebuilds EFn and EFg for the run's key in one transaction. Same rules as
// run_source_step.
void run_derivation(const StepDef& step, RunContext& context, StepReport& report);

// The key's values bound to one statement, their parameter indexes looked up
// once: a delete binds them once, an insert once per row.
class KeyBinding {
 public:
  KeyBinding(db::Statement& statement, const StepKey& key);
  // Texts as text; the pattern number as an integer, which a text parameter
  // (the inserts') turns into the text "0" or "1".
  void bind() const;

 private:
  db::Statement& statement_;
  const StepKey& key_;
  std::vector<std::size_t> indexes_;  // per key value, its parameter in statement_
};

// While it lives, a long statement of the step (deleting a large month's old
// rows, the derivation's insert-from-select) lets the host answer its
// messages every few thousand of the engine's steps, and stops at a stop
// request; without it a window would not answer for seconds.
class LongStatements {
 public:
  explicit LongStatements(RunContext& context);

 private:
  db::ProgressCheck check_;
};

// The run's year-month and pattern as a step's key (E, F, the derivation).
StepKey year_month_key(const RunKeys& keys);

// Replaces the text of the shared FDQ_DEL with the delete of `table` for the
// step's kind of key, binds `key` and runs it.
void delete_key_rows(const StepDef& step, const TableDef& table, const StepKey& key, RunContext& context);

// Inside a step's catch block: rolls back (a failing roll-back throws and
// stops the run), then records the failure being handled and shows the
// step's message. Nothing before the roll-back can throw. When the run has
// been asked to stop, throws Interrupted after the roll-back instead.
void fail_step(const StepDef& step, RunContext& context, StepReport& report);

}  // namespace efi::import
