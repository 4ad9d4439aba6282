// Status, progress bar and message lines of efload.
#include "cli/terminal_host.h"

#include <algorithm>
#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace efi::cli {
namespace {

// The run's own status texts and failure messages, by step (sources in run
// order, the derivation last), so the host can tell which tables changed.
struct StepTexts {
  std::string_view status;
  std::string_view failure;
};
constexpr std::array<StepTexts, step_count> step_texts{{
    {"Eファイル(入院)　　", "ENファイル取り込みエラー"},
    {"Fファイル(入院)　　", "FNファイル取り込みエラー"},
    {"Eファイル(外来)　　", "EGファイル取り込みエラー"},
    {"Fファイル(外来)　　", "FGファイル取り込みエラー"},
    {"ETCファイル(厚労省)  ", "ETCファイル(厚労省)取り込みエラー"},
    {"Yファイル", "Yファイル取り込みエラー"},
    {"入院、外来データ集計中", "EFN、EFGデータ作成失敗"},
}};

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

double wall_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// User plus system time of this process.
double cpu_seconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100 ns units
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
#endif
}

}  // namespace

TerminalHost::TerminalHost(std::FILE* status_out, std::FILE* messages_out, bool is_terminal,
                           bool print_timings)
    : status_out_(status_out),
      messages_out_(messages_out),
      is_terminal_(is_terminal),
      print_timings_(print_timings) {}

void TerminalHost::end_timed_step() {
  if (timed_status_.empty()) return;
  std::fprintf(status_out_, "efload: %s took %.3f s (CPU %.3f s)\n", timed_status_.c_str(),
               wall_seconds() - timed_wall_start_, cpu_seconds() - timed_cpu_start_);
  std::fflush(status_out_);
  timed_status_.clear();
}

void TerminalHost::set_status(std::string_view text) {
  clear_bar();
  if (print_timings_) end_timed_step();
  status_ = trimmed_status(text);
  if (print_timings_ && !status_.empty()) {
    timed_status_ = status_;
    timed_wall_start_ = wall_seconds();
    timed_cpu_start_ = cpu_seconds();
  }
  for (std::size_t i = 0; i < step_count; ++i) {
    if (step_texts[i].status == text) {
      current_step_ = i;
      if (states_[i] == StepState::not_started) states_[i] = StepState::started;
    }
  }
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
  for (std::size_t i = 0; i < step_count; ++i) {
    if (step_texts[i].failure == failure.step_message) states_[i] = StepState::failed;
  }
  print_message(failure.step_message);
  if (!failure.cause.empty()) print_message("  cause: " + failure.cause);
}

void TerminalHost::show_general_error(std::string_view text) {
  // The run stopped inside the step whose status was shown last; that step
  // changed nothing (the stop comes before its transaction or after its roll-back).
  if (current_step_ < step_count) states_[current_step_] = StepState::failed;
  print_message(text);
}

void TerminalHost::show_completion(std::string_view text, std::string_view caption) {
  print_message(text);
}

void TerminalHost::finish() {
  clear_bar();
  if (print_timings_) end_timed_step();
}

}  // namespace efi::cli
