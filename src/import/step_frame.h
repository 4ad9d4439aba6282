// The frame shared by the six source steps, and the derivation's own frame.
//
// A source step: entry test, status text and repaint, the path check of the
// drug lists (outside the protected region, so a bad path stops the run),
// then in one transaction: delete the key's rows, read the file, and per line
// progress, split, bind, insert, pump; commit. Any failure inside is rolled
// back and reported with the step's own message, and the run goes on; a
// failing roll-back leaves the frame and stops the run.
#pragma once

#include <string>

#include "db/connection.h"
#include "import/run.h"
#include "import/steps.h"

namespace efi::import {

// What one run hands to each of its steps.
struct RunContext {
  const RunKeys& keys;               // taken once when the run started
  db::Connection& connection;        // FDC1
  Statements& statements;            // FDQ_*
  RunHost& host;                     // status, progress, message boxes
  const Environment& environment;    // converter, temporary CSV, clock
};

enum class StepResult {
  skipped,    // switched off or no file name: nothing touched
  succeeded,  // committed
  failed,     // rolled back and reported through show_step_error
};

// Runs one source step. Throws only what must stop the run: an invalid path,
// a failing roll-back, a failing host outside the protected region.
StepResult run_source_step(const StepDef& step, RunContext& context);

// Rebuilds EFn and EFg for the run's key in one transaction. Same throwing
// rule as run_source_step.
StepResult run_derivation(RunContext& context);

// Inside a catch block: what the window's fixed message hides about the
// failure being handled, for hosts that print it.
std::string current_failure_cause();

}  // namespace efi::import
