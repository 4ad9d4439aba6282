#include "import/run.h"

#include "import/step_frame.h"
#include "import/steps.h"
#include "platform/files.h"

namespace efi::import {

namespace {

constexpr std::string_view completion_text = "データ取り込みが終了しました。";
constexpr std::string_view completion_caption = "EFファイル取り込み";

}  // namespace

std::string general_error_text(std::string_view failure_text) {
  std::string text(failure_text);
  // Every byte of a multi-byte UTF-8 character is 0x80 or above, so the last
  // byte sorts above "." exactly when the last character does.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

Environment default_environment(workbook::Converter& converter) {
  Environment environment;
  environment.converter = &converter;
  environment.temp_csv_path = platform::executable_folder() + "vornexport.csv";
  environment.today_yyyymmdd = [] { return platform::format_yyyymmdd(platform::local_today()); };
  return environment;
}

RunOutcome run(const RunKeys& keys, db::Connection& connection, Statements& statements,
               RunHost& host, const Environment& environment) {
  try {
    RunContext context{keys, connection, statements, host, environment};
    bool has_failed = false;
    for (const StepDef& step : source_steps()) {
      has_failed |= run_source_step(step, context) == StepResult::failed;
      // The bar goes back to 0 after every step but the last source, whether
      // the step ran, was skipped or failed.
      if (step.source != Source::y) host.set_progress_position(0);
    }
    // The derivation always runs, whatever the sources did.
    has_failed |= run_derivation(context) == StepResult::failed;
    host.set_status("");
    host.show_completion(completion_text, completion_caption);
    return has_failed ? RunOutcome::completed_with_errors : RunOutcome::completed;
  } catch (...) {
    std::string text = general_error_text(current_failure_cause());
    try {
      host.show_general_error(text);
    } catch (...) {
      // Nothing is left to report to; the run still returns.
    }
    return RunOutcome::stopped;
  }
}

}  // namespace efi::import
