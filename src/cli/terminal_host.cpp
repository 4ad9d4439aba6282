// Status, progress bar and message lines of efload.
#include "cli/terminal_host.h"

#include <algorithm>

#include "import/steps.h"

namespace efi::cli {
namespace {

constexpr int bar_width = 30;  // characters between the brackets

// The status without trailing ASCII blanks and ideographic spaces (U+3000).
std::string trimmed_status(std::string_view text) {
  constexpr std::string_view ideographic_space = "\xE3\x80\x80";
  for (;;) {
    if (!text.empty() && text.back() == ' ') {
      text.remove_suffix(1);
    } else if (text.size() >= 3 && text.substr(text.size() - 3) == ideographic_space) {
      text.remove_suffix(3);
    } else {
      return std::string(text);
    }
  }
}

}  // namespace

TerminalHost::TerminalHost(std::FILE* status_out, std::FILE* messages_out, bool is_terminal,
                           bool print_timings)
    : status_out_(status_out),
      messages_out_(messages_out),
      is_terminal_(is_terminal),
      print_timings_(print_timings) {}

void TerminalHost::set_status(std::string_view text) {
  clear_bar();
  status_ = trimmed_status(text);
  if (status_.empty()) return;
  if (is_terminal_) {
    // The bar joins the status once the step reports its first line.
    maximum_ = 0;
    position_ = 0;
    std::fprintf(status_out_, "\r%s", status_.c_str());
    is_bar_drawn_ = true;
  } else {
    std::fprintf(status_out_, "%s\n", status_.c_str());
  }
  std::fflush(status_out_);
}

void TerminalHost::set_progress_max(int maximum) {
  maximum_ = maximum;  // set again for every line; drawn with the next position
}

void TerminalHost::set_progress_position(int position) {
  position_ = position;
  // 0 is the run putting the bar back after a step: the finished bar stays.
  if (is_terminal_ && !status_.empty() && position > 0) draw_bar();
}

void TerminalHost::draw_bar() {
  // The bar holds a position beyond its maximum at the maximum.
  const int held = std::clamp(position_, 0, std::max(maximum_, 0));
  int percent = 0;
  if (maximum_ > 0) {
    percent = static_cast<int>(static_cast<long long>(held) * 100 / maximum_);
  } else if (position_ > 0) {
    percent = 100;
  }
  if (percent == shown_percent_) return;
  shown_percent_ = percent;
  const int filled = percent * bar_width / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(bar_width - filled), '.');
  std::fprintf(status_out_, "\r%s [%s] %3d%%", status_.c_str(), bar.c_str(), percent);
  std::fflush(status_out_);
  is_bar_drawn_ = true;
}

// Ends the drawn bar's line, so what follows starts on a line of its own.
void TerminalHost::clear_bar() {
  if (!is_bar_drawn_) return;
  std::fputc('\n', status_out_);
  std::fflush(status_out_);
  is_bar_drawn_ = false;
  shown_percent_ = -1;
}

void TerminalHost::print_message(std::string_view text) {
  clear_bar();
  std::fflush(status_out_);
  std::fwrite(text.data(), 1, text.size(), messages_out_);
  std::fputc('\n', messages_out_);
  std::fflush(messages_out_);
}

void TerminalHost::show_step_error(const import::StepFailure& failure) {
  print_message(failure.step_message);
  const std::string cause = import::failure_text(failure.failure);
  if (!cause.empty()) print_message("  cause: " + cause);
}

void TerminalHost::show_general_error(std::string_view text) { print_message(text); }

void TerminalHost::show_completion(std::string_view text, std::string_view caption) { print_message(text); }

void TerminalHost::step_finished(const import::StepReport& report) {
  if (!print_timings_) return;
  clear_bar();
  std::fprintf(status_out_, "efload: %s took %.3f s (CPU %.3f s)\n",
               trimmed_status(report.step->status_text).c_str(), report.wall_seconds, report.cpu_seconds);
  std::fflush(status_out_);
}

void TerminalHost::finish() { clear_bar(); }

}  // namespace efi::cli
