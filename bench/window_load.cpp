// The window's own load, timed in-process: the real TF_EF window (as in
// EFImport.exe) loads one F file (inpatient) from a press of 実行 to the
// completion box, on vorn.sqlite3 in the current folder, while a second
// thread keeps posting messages to a window of the GUI thread and times how
// long each waits to be answered. Run under Wine by scripts/bench-window,
// beside efload.exe on the same file.
//
// Usage: efi_bench_window F_FILE YYMM   (run in the folder of vorn.sqlite3)
// Prints one line of figures: the rows; the load, from 実行 to the completion
// box; the step, from the F step's status text to the next one (the span
// efload --timings reports); the waits of the messages posted while rows were
// inserted (mid-load: from the first row to 50 ms before the last), and the
// longest before the first row (the step counts
// the file's lines first) and in the whole run (the commit and the derivation
// process no messages either); how often the bar was painted.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/win32/main_window.h"
#include "platform/text.h"

namespace {

using efi::app::Control;

double now_seconds() {
  static const double ticks_per_second = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / ticks_per_second;
}

struct Probe {
  double posted_at;  // seconds, QueryPerformanceCounter
  double wait_ms;    // until the GUI thread answered it
};

// What the GUI thread records while the run is under way.
struct Record {
  std::vector<std::pair<double, std::wstring>> statuses;  // (time, status text)
  std::vector<Probe> probes;                              // every probe answered, in order
  double first_row_at = 0;          // the first PBM_SETRANGE32: the run reports its first row
  double last_bar_move_at = 0;      // the last PBM_SETPOS: the last rows are being inserted
  double longest_bar_gap = 0;       // the longest time between two moves of the bar
  int bar_paints = 0;               // WM_PAINT of the progress bar
  double completion_at = 0;         // time the completion box was shown
  std::vector<std::wstring> boxes;  // the texts of every box shown
};
Record record;

constexpr UINT probe_message = WM_APP + 1;

// The probe window answers a posted message by noting how long it waited.
std::atomic<double> probe_posted_at{0};  // 0: no probe waiting
LRESULT CALLBACK probe_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == probe_message) {
    const double posted_at = probe_posted_at.load();
    record.probes.push_back({posted_at, (now_seconds() - posted_at) * 1000.0});
    probe_posted_at.store(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK watch_status(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == SB_SETTEXTW && LOWORD(wparam) == 0) {
    std::wstring text = reinterpret_cast<const wchar_t*>(lparam);
    text.erase(0, text.find_first_not_of(L'\t'));
    record.statuses.emplace_back(now_seconds(), text);
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK watch_bar(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  if (message == WM_PAINT) ++record.bar_paints;
  if (message == PBM_SETRANGE32 && record.first_row_at == 0) record.first_row_at = now_seconds();
  if (message == PBM_SETPOS && wparam != 0) {
    const double now = now_seconds();
    if (record.last_bar_move_at != 0) {
      record.longest_bar_gap = std::max(record.longest_bar_gap, now - record.last_bar_move_at);
    }
    record.last_bar_move_at = now;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

// The time the status text starting with `prefix` was set, and the next one's.
std::pair<double, double> step_span(const std::wstring& prefix) {
  for (std::size_t i = 0; i + 1 < record.statuses.size(); ++i) {
    if (record.statuses[i].second.rfind(prefix, 0) == 0) {
      return {record.statuses[i].first, record.statuses[i + 1].first};
    }
  }
  return {0, -1};
}

struct Waits {
  std::size_t count = 0;
  double max_ms = 0, median_ms = 0;
};
// The waits of the probes posted between `from` and `to`.
Waits waits_between(double from, double to) {
  std::vector<double> waits;
  for (const Probe& probe : record.probes) {
    if (probe.posted_at >= from && probe.posted_at < to) waits.push_back(probe.wait_ms);
  }
  std::sort(waits.begin(), waits.end());
  if (waits.empty()) return {};
  return {waits.size(), waits.back(), waits[waits.size() / 2]};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: efi_bench_window F_FILE YYMM\n");
    return 2;
  }
  const std::wstring f_file = argv[1];
  const std::wstring yymm = argv[2];
  HINSTANCE instance = GetModuleHandleW(nullptr);

  efi::app::UiSeams seams = efi::app::default_seams();
  seams.message_box = [](HWND, std::wstring text, std::wstring, UINT) {
    if (record.completion_at == 0) record.completion_at = now_seconds();
    record.boxes.push_back(text);
    return IDOK;
  };
  efi::app::MainWindow window(instance, seams, {.quit_on_destroy = false});
  window.show(SW_SHOWNORMAL);
  record.completion_at = 0;  // a box at start (the engine library file) is not the run's
  record.boxes.clear();

  WNDCLASSW probe_class{};
  probe_class.lpfnWndProc = probe_proc;
  probe_class.hInstance = instance;
  probe_class.lpszClassName = L"EfiBenchProbe";
  RegisterClassW(&probe_class);
  HWND probe =
      CreateWindowExW(0, L"EfiBenchProbe", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  SetWindowSubclass(window.control(Control::StatusBar1), watch_status, 1, 0);
  SetWindowSubclass(window.control(Control::ProgressBar1), watch_bar, 1, 0);

  SetWindowTextW(window.control(Control::CB_yymm), yymm.c_str());
  SetWindowTextW(window.control(Control::E_FN), f_file.c_str());
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);

  // While the run is under way, a probe is posted every 20 ms once the
  // previous one has been answered.
  std::atomic<bool> running{true};
  std::thread prober([&] {
    while (running.load()) {
      Sleep(20);
      if (probe_posted_at.load() != 0) continue;
      probe_posted_at.store(now_seconds());
      PostMessageW(probe, probe_message, 0, 0);
    }
  });
  const double pressed_at = now_seconds();
  SendMessageW(window.control(Control::B_OK), BM_CLICK, 0, 0);  // returns when the run has
  running.store(false);
  prober.join();

  const double load_seconds = record.completion_at - pressed_at;
  if (record.boxes.size() != 1) {
    for (const std::wstring& text : record.boxes) {
      std::fprintf(stderr, "efi_bench_window: box: %s\n", efi::platform::utf8_from_wide(text).c_str());
    }
    return 1;
  }
  const auto [step_start, step_end] = step_span(L"Fファイル(入院)");
  // Mid-load: while rows are inserted, from the first row the run reports to
  // shortly before the bar's last move; a message posted in the last moments
  // can only be answered after the commit. Before the first row the step
  // counts the file's lines, after the last come the commit and the
  // derivation: none of them processes messages.
  constexpr double end_margin = 0.050;
  const Waits mid_load = waits_between(record.first_row_at, record.last_bar_move_at - end_margin);
  const Waits before_rows = waits_between(step_start, record.first_row_at);
  const Waits whole_run = waits_between(pressed_at, record.completion_at);
  // The rows the step read: the bar's maximum is the line count minus one.
  const int rows =
      static_cast<int>(SendMessageW(window.control(Control::ProgressBar1), PBM_GETRANGE, FALSE, 0)) + 1;
  std::printf(
      "window: %d rows; load %.3f s (step %.3f s, first row after %.3f s, inserting %.3f s);"
      " mid-load %zu messages answered, max %.1f ms, median %.1f ms; before the first row max %.1f ms;"
      " whole run max %.1f ms; bar painted %d times, moved at most %.1f ms apart\n",
      rows, load_seconds, step_end - step_start, record.first_row_at - step_start,
      record.last_bar_move_at - record.first_row_at, mid_load.count, mid_load.max_ms, mid_load.median_ms,
      before_rows.max_ms, whole_run.max_ms, record.bar_paints, record.longest_bar_gap * 1000.0);
  DestroyWindow(probe);
  return 0;
}
