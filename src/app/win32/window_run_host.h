// The window as the import run's host: status text in the status bar's first
// panel, the progress bar, pending messages, and the three message boxes.
//
// The run sets the bar's maximum and position for every line it reads, and
// every message to the bar redraws it at once, so the host sends the bar only
// what changes what it draws: a new range when the maximum changes, a new
// position when the filled part would grow or shrink by a pixel, or reach
// either end. Pending messages are processed at most every few milliseconds.
// Every status change, every message box and finish() bring the bar to
// exactly the position the run last set, so what the operator can read off
// the bar between steps is what the run did.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <string_view>

#include "app/win32/ui_seams.h"
#include "import/run.h"

namespace efi::app {

class WindowRunHost final : public import::RunHost {
 public:
  WindowRunHost(HWND window, HWND status_bar, HWND progress_bar, const UiSeams& seams, std::wstring title);

  void set_status(std::string_view text) override;
  void repaint() override;
  void set_progress_max(int maximum) override;
  void set_progress_position(int position) override;
  void pump_messages() override;
  void show_step_error(const import::StepFailure& failure) override;
  void show_general_error(std::string_view text) override;
  void show_completion(std::string_view text, std::string_view caption) override;

  // Brings the bar to the last position set; call when the run returns.
  void finish();
  // A WM_QUIT taken from the queue while pumping, to be posted again after the run.
  bool quit_seen() const { return quit_seen_; }
  int quit_code() const { return quit_code_; }

 private:
  void send_position();
  int held(int position) const;           // the position the bar shows for `position`
  int filled_pixels(int position) const;  // the width of the bar's filled part

  HWND window_;           // the main window: repaint and dialog navigation
  HWND status_bar_;       // StatusBar1
  HWND progress_bar_;     // ProgressBar1
  const UiSeams& seams_;  // message boxes
  std::wstring title_;    // caption of the plain and the error box
  int maximum_ = 100;     // the bar's range is 0..maximum_, as last sent
  int bar_width_ = 0;     // the bar's client width in pixels, taken with the range
  int position_ = 0;      // last position the run set; may lie above the range
  int bar_position_ = 0;  // the position the bar holds (the range holds it)
  // The pump's clock is a steady clock (QueryPerformanceCounter), not
  // GetTickCount64: under Wine the tick count is advanced by the Wine server,
  // which a load that makes no server calls leaves asleep, and messages
  // waited up to 0.8 s for a pump.
  std::chrono::steady_clock::time_point last_pump_;  // when messages were last processed
  bool has_pumped_ = false;                          // false until the first pump
  bool quit_seen_ = false;
  int quit_code_ = 0;
};

// Status panel text: the two leading tabs right-justify it in the panel.
std::wstring status_panel_text(std::wstring_view text);

}  // namespace efi::app
