// efload's RunHost: the status text and a progress bar on standard error, the
// message boxes' texts on standard output, one line each.
//
// On a terminal the bar is redrawn in place with "\r", and only when the shown
// percentage or the status changes, so a long load spends no time drawing.
// Elsewhere (a pipe, a log file) each step's status is one line and the bar is
// not drawn. With timings asked for, each step's wall and CPU seconds follow
// it, from the run's report of the step.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "import/run.h"

namespace efi::cli {

class TerminalHost : public import::RunHost {
 public:
  // `status_out` gets status and bar, `messages_out` the boxes' texts.
  // With `print_timings`, each step's wall and CPU seconds follow it on `status_out`.
  TerminalHost(std::FILE* status_out, std::FILE* messages_out, bool is_terminal, bool print_timings = false);

  void set_status(std::string_view text) override;
  void repaint() override {}
  void set_progress_max(int maximum) override;
  void set_progress_position(int position) override;
  void pump_messages() override {}
  void show_step_error(const import::StepFailure& failure) override;
  void show_general_error(std::string_view text) override;
  void show_completion(std::string_view text, std::string_view caption) override;
  void step_finished(const import::StepReport& report) override;

  // Ends the bar's line, if one is drawn. Called once the run has returned.
  void finish();

 private:
  void draw_bar();
  void clear_bar();
  void print_message(std::string_view text);

  std::FILE* status_out_;      // standard error
  std::FILE* messages_out_;    // standard output
  bool is_terminal_;           // status_out_ is a terminal: redraw in place
  std::string status_;         // the status text, trailing blanks removed
  int maximum_ = 0;            // the bar's maximum as the run last set it
  int position_ = 0;           // the bar's position, not yet held at the maximum
  int shown_percent_ = -1;     // what the drawn bar shows; -1 when none is drawn
  bool is_bar_drawn_ = false;  // a bar line without its line break is on screen
  bool print_timings_;         // print each step's duration when it ends
};

}  // namespace efi::cli
