#include "app/win32/window_run_host.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>

#include "app/win32/message_loop.h"
#include "platform/text.h"

namespace efi::app {

namespace {
// Often enough that the window answers at once to the operator's eye, seldom
// enough that a load does not spend its time looking at an empty queue.
constexpr std::chrono::milliseconds pump_interval{15};

int client_width(HWND control) {
  RECT rc;
  GetClientRect(control, &rc);
  return rc.right - rc.left;
}
}  // namespace

std::wstring status_panel_text(std::wstring_view text) { return L"\t\t" + std::wstring(text); }

WindowRunHost::WindowRunHost(HWND window, HWND status_bar, HWND progress_bar, const UiSeams& seams,
                             std::wstring title)
    : window_(window),
      status_bar_(status_bar),
      progress_bar_(progress_bar),
      seams_(seams),
      title_(std::move(title)) {
  PBRANGE range{};
  SendMessageW(progress_bar_, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  maximum_ = range.iHigh;
  bar_width_ = client_width(progress_bar_);
  position_ = bar_position_ = static_cast<int>(SendMessageW(progress_bar_, PBM_GETPOS, 0, 0));
}

void WindowRunHost::set_status(std::string_view text) {
  send_position();
  std::wstring panel = status_panel_text(platform::wide_from_utf8(text));
  SendMessageW(status_bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(panel.c_str()));
}

void WindowRunHost::repaint() {
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void WindowRunHost::set_progress_max(int maximum) {
  if (maximum == maximum_) return;  // the run repeats it for every line
  maximum_ = maximum;
  SendMessageW(progress_bar_, PBM_SETRANGE32, 0, maximum);
  bar_position_ = held(bar_position_);  // the bar holds its position within the new range
  bar_width_ = client_width(progress_bar_);
}

int WindowRunHost::held(int position) const { return std::clamp(position, 0, std::max(maximum_, 0)); }

int WindowRunHost::filled_pixels(int position) const {
  if (maximum_ <= 0) return 0;
  return static_cast<int>(static_cast<long long>(held(position)) * bar_width_ / maximum_);
}

void WindowRunHost::set_progress_position(int position) {
  position_ = position;
  // Only a change the operator can see is sent; the ends always are.
  const int shown = held(position);
  if (shown == 0 || shown == maximum_ || filled_pixels(position) != filled_pixels(bar_position_)) {
    send_position();
  }
}

void WindowRunHost::send_position() {
  if (held(position_) == bar_position_) return;
  SendMessageW(progress_bar_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
  bar_position_ = held(position_);
}

void WindowRunHost::pump_messages() {
  const auto now = std::chrono::steady_clock::now();
  if (has_pumped_ && now - last_pump_ < pump_interval) return;
  has_pumped_ = true;
  last_pump_ = now;
  MSG message;
  while (!quit_seen_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit_seen_ = true;
      quit_code_ = static_cast<int>(message.wParam);
      break;
    }
    dispatch_message(window_, message);
  }
}

void WindowRunHost::show_step_error(const import::StepFailure& failure) {
  send_position();
  seams_.message_box(window_, platform::wide_from_utf8(failure.step_message), title_, MB_OK);
}

void WindowRunHost::show_general_error(std::string_view text) {
  send_position();
  seams_.message_box(window_, platform::wide_from_utf8(text), title_, MB_ICONERROR | MB_OK);
}

void WindowRunHost::show_completion(std::string_view text, std::string_view caption) {
  send_position();
  seams_.message_box(window_, platform::wide_from_utf8(text), platform::wide_from_utf8(caption),
                     MB_ICONINFORMATION);
}

void WindowRunHost::finish() { send_position(); }

}  // namespace efi::app
