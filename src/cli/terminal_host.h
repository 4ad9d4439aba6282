// efload's RunHost: the status text and a progress bar on standard error, the
// message boxes' texts on standard output, one line each.
//
// On a terminal the bar is redrawn in place with "\r", and only when the shown
// percentage or the status changes, so a long load spends no time drawing.
// Elsewhere (a pipe, a log file) each step's status is one line and the bar is
// not drawn. The host also notes which steps started and which failed, so the
// summary can name the tables the run changed.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "import/run.h"

namespace efi::cli {

// What the run did, as the host saw it through its status texts and boxes.
enum class StepState {
  not_started,  // switched off, or the run ended before it
  started,      // its status was shown and it reported no failure
  failed,       // its message box was shown, or the run stopped inside it
};

// The six sources, then the derivation (which changes EFn and EFg).
constexpr std::size_t derivation_index = import::source_count;
constexpr std::size_t step_count = import::source_count + 1;

class TerminalHost : public import::RunHost {
 public:
  // `status_out` gets status and bar, `messages_out` the boxes' texts.
  // With `print_timings`, each step's wall and CPU seconds follow it on `status_out`.
  TerminalHost(std::FILE* status_out, std::FILE* messages_out, bool is_terminal,
               bool print_timings = false);

  void set_status(std::string_view text) override;
  void repaint() override {}
  void set_progress_max(int maximum) override;
  void set_progress_position(int position) override;
  void pump_messages() override {}
  void show_step_error(const import::StepFailure& failure) override;
  void show_general_error(std::string_view text) override;
  void show_completion(std::string_view text, std::string_view caption) override;

  // Ends the bar's line, if one is drawn. Called once the run has returned.
  void finish();

  StepState step_state(std::size_t index) const { return states_[index]; }

 private:
  void draw_bar();
  void clear_bar();
  void print_message(std::string_view text);
  void end_timed_step();

  std::FILE* status_out_;       // standard error
  std::FILE* messages_out_;     // standard output
  bool is_terminal_;            // status_out_ is a terminal: redraw in place
  std::string status_;          // the status text, trailing blanks removed
  int maximum_ = 0;             // the bar's maximum as the run last set it
  int position_ = 0;            // the bar's position, not yet held at the maximum
  int shown_percent_ = -1;      // what the drawn bar shows; -1 when none is drawn
  bool is_bar_drawn_ = false;   // a bar line without its line break is on screen
  std::size_t current_step_ = step_count;  // step whose status was shown last
  std::array<StepState, step_count> states_{};  // by source index, derivation last
  bool print_timings_;          // print each step's duration when it ends
  std::string timed_status_;    // status of the step being timed; empty when none
  double timed_wall_start_ = 0;  // seconds on the steady clock when it started
  double timed_cpu_start_ = 0;   // process CPU seconds when it started
};

}  // namespace efi::cli
