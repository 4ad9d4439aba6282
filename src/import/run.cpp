#include "import/run.h"

#include <chrono>

#include "import/step_frame.h"
#include "import/steps.h"
#include "platform/files.h"
#include "platform/process.h"

namespace efi::import {

namespace {

constexpr std::string_view completion_text = "データ取り込みが終了しました。";
constexpr std::string_view completion_caption = "EFファイル取り込み";

// Wall and CPU time of one step, from its entry to its end.
class StepClock {
 public:
  StepClock() : wall_start_(std::chrono::steady_clock::now()), cpu_start_(platform::cpu_seconds()) {}
  void stop(StepReport& report) const {
    report.wall_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start_).count();
    report.cpu_seconds = platform::cpu_seconds() - cpu_start_;
  }

 private:
  std::chrono::steady_clock::time_point wall_start_;
  double cpu_start_;  // process CPU seconds at the start
};

}  // namespace

std::string key_text(const StepKey& key) {
  std::string text;
  for (const KeyValue& value : key.values) {
    if (!text.empty()) text += ", ";
    text += value.parameter;
    text += ' ';
    if (const auto* number = std::get_if<std::int64_t>(&value.value)) {
      text += std::to_string(*number);
    } else {
      text += std::get<std::string>(value.value);
    }
  }
  return text;
}

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

RunReport run(const RunKeys& keys, db::Connection& connection, Statements& statements, RunHost& host,
              const Environment& environment) {
  RunReport report;
  report.steps.reserve(step_count);
  StepReport* running = nullptr;  // the step under way, if one is
  std::optional<StepClock> clock;
  try {
    RunContext context{keys, connection, statements, host, environment};
    for (const StepDef& step : run_steps()) {
      running = &report.steps.emplace_back();
      running->step = &step;
      clock.emplace();
      if (step.source) {
        run_source_step(step, context, *running);
      } else {
        // The derivation always runs, whatever the sources did.
        run_derivation(step, context, *running);
      }
      if (running->outcome != StepOutcome::skipped) {
        clock->stop(*running);
        host.step_finished(*running);
      }
      running = nullptr;
      // The bar goes back to 0 after every source but the last, whether the
      // step ran, was skipped or failed.
      if (step.source && *step.source != Source::y) host.set_progress_position(0);
    }
    host.set_status("");
    host.show_completion(completion_text, completion_caption);
    report.outcome = RunOutcome::completed;
    for (const StepReport& step : report.steps) {
      if (step.outcome == StepOutcome::failed) report.outcome = RunOutcome::completed_with_errors;
    }
  } catch (const Interrupted&) {
    report.outcome = RunOutcome::interrupted;
    if (running != nullptr) {
      running->outcome = StepOutcome::stopped;
      try {
        running->failure = Failure::interrupted();
        clock->stop(*running);
        host.step_finished(*running);
      } catch (...) {
        // The report still says where the run stopped.
      }
    }
  } catch (...) {
    report.outcome = RunOutcome::stopped;
    Failure failure = current_failure();
    if (running != nullptr) running->outcome = StepOutcome::stopped;
    try {
      host.show_general_error(general_error_text(failure_text(failure)));
      if (running != nullptr) {
        running->failure = std::move(failure);
        clock->stop(*running);
        host.step_finished(*running);
      }
    } catch (...) {
      // Nothing is left to report to; the run still returns what it did.
    }
  }
  return report;
}

}  // namespace efi::import
