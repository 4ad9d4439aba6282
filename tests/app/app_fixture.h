// Shared pieces of the window tests: a window built with seams that record
// every message box and answer it from a script, file dialogs answered the
// same way, a fixed date, and small helpers to read and drive controls.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/layout.h"
#include "app/win32/main_window.h"
#include "app/win32/panel.h"
#include "app/win32/ui_seams.h"
#include "db/schema.h"
#include "platform/text.h"
#include "support/scratch_folder.h"
#include "support/wine_path.h"

namespace efi::app::testing {

struct BoxCall {
  std::wstring text;
  std::wstring caption;
  UINT flags;
};

struct DialogCall {
  const FileDialog* dialog;  // which dialog object was opened
  std::wstring filter;       // its filter then
  std::wstring offered;      // the initial file name it offered
};

// Seams that record and answer. Box answers default to IDOK; `on_box` runs
// inside the box (during a run, for instance) before it is answered.
struct ScriptedUi {
  std::vector<BoxCall> boxes;
  std::deque<int> box_answers;
  std::function<void(const BoxCall&)> on_box;
  std::vector<DialogCall> dialogs;
  std::deque<std::wstring> dialog_answers;  // an empty answer means Cancel
  platform::LocalDate today{2021, 11, 15};

  UiSeams seams() {
    UiSeams s;
    s.message_box = [this](HWND, std::wstring text, std::wstring caption, UINT flags) {
      boxes.push_back({text, caption, flags});
      if (on_box) on_box(boxes.back());
      int answer = IDOK;
      if (!box_answers.empty()) {
        answer = box_answers.front();
        box_answers.pop_front();
      }
      return answer;
    };
    s.open_file = [this](HWND, FileDialog& dialog, std::wstring& path) {
      dialogs.push_back({&dialog, dialog.filter, dialog.file_name});
      std::wstring answer;
      if (!dialog_answers.empty()) {
        answer = dialog_answers.front();
        dialog_answers.pop_front();
      }
      if (answer.empty()) return false;
      path = answer;
      return true;
    };
    s.today = [this] { return today; };
    return s;
  }
};

inline std::wstring window_text(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return text;
}

// Processes what is queued for this thread (paint, posted messages).
inline void pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// A window of its own per test; destroyed with the fixture.
class AppTest : public ::testing::Test {
 protected:
  void make_window() {
    window = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), ui.seams(),
                                          WindowOptions{.quit_on_destroy = false});
  }
  void TearDown() override {
    window.reset();
    pump();
  }

  HWND at(Control id) const { return window->control(id); }
  void double_click(Control id) { SendMessageW(at(id), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5)); }
  void click(Control id) { SendMessageW(at(id), BM_CLICK, 0, 0); }
  COLORREF colour(Control id) const { return panel::colour(at(id)); }
  std::wstring text(Control id) const { return window_text(at(id)); }
  void set_text(Control id, const std::wstring& value) { SetWindowTextW(at(id), value.c_str()); }
  bool checked(Control id) const { return SendMessageW(at(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  bool visible(Control id) const { return IsWindowVisible(at(id)) != FALSE; }
  // The first status panel's text, with the two tabs that right-justify it.
  std::wstring status_text() const {
    HWND bar = at(Control::StatusBar1);
    LRESULT info = SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0);
    std::wstring text(LOWORD(info) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(LOWORD(info));
    return text;
  }
  int progress_position() const {
    return static_cast<int>(SendMessageW(at(Control::ProgressBar1), PBM_GETPOS, 0, 0));
  }
  int progress_maximum() const {
    return static_cast<int>(SendMessageW(at(Control::ProgressBar1), PBM_GETRANGE, FALSE, 0));
  }

  // A control's rectangle in its parent's client area, in pixels.
  struct PlacedControl {
    Control id;
    int left, top, width, height;
  };
  // Expects every control listed at its rectangle.
  void expect_placed(std::initializer_list<PlacedControl> expected) const {
    for (const PlacedControl& e : expected) {
      SCOPED_TRACE(::testing::Message() << "control " << static_cast<int>(e.id));
      HWND h = at(e.id);
      RECT rc;
      GetWindowRect(h, &rc);
      MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&rc), 2);
      EXPECT_EQ(rc.left, e.left);
      EXPECT_EQ(rc.top, e.top);
      EXPECT_EQ(rc.right - rc.left, e.width);
      EXPECT_EQ(rc.bottom - rc.top, e.height);
    }
  }

  ScriptedUi ui;
  std::unique_ptr<MainWindow> window;
};

// Answers the real modal boxes and dialogs (class #32770: message boxes, the
// file dialog) that this thread opens while the object lives: each is read
// (caption and static text) and sent the command `answer` (IDOK, IDCANCEL).
class DialogAnswerer {
 public:
  struct Seen {
    std::wstring caption;
    std::wstring text;  // a message box's text; empty for other dialogs
  };

  explicit DialogAnswerer(int answer) : answer_(answer) {
    active_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
  }
  ~DialogAnswerer() {
    UnhookWindowsHookEx(hook_);
    active_ = nullptr;
  }
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  const std::vector<Seen>& seen() const { return seen_; }

 private:
  static LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && active_) {
      HWND box = reinterpret_cast<HWND>(wparam);
      wchar_t name[32] = {};
      GetClassNameW(box, name, 32);
      if (std::wstring(name) == L"#32770") {
        wchar_t text[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256);  // a message box's static text
        active_->seen_.push_back({window_text(box), text});
        PostMessageW(box, WM_COMMAND, active_->answer_, 0);
      }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }

  static inline DialogAnswerer* active_ = nullptr;  // the one answering now
  HHOOK hook_ = nullptr;
  int answer_;              // the command each dialog is sent
  std::vector<Seen> seen_;  // in the order they opened
};

// A Windows path from a path the build wrote (a Unix path under Wine).
// The bytes of a file named by a Windows path; empty when it cannot be read.
inline std::string read_all(const std::wstring& path) {
  return efi::test_support::read_file(efi::test_support::utf8_of(std::filesystem::path(path)));
}

inline std::wstring windows_path(const std::string& build_path) {
  std::wstring wide = efi::test_support::path_of(efi::test_support::native_path(build_path)).wstring();
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

// The test's scratch folder, in the UTF-16 paths the window takes.
class ScratchFolder {
 public:
  const std::filesystem::path& path() const { return folder_.folder(); }
  std::wstring file(const std::wstring& name) const { return (folder_.folder() / name).wstring(); }

 private:
  efi::test_support::ScratchFolder folder_{"efi-app"};
};

// The current folder moved into `folder`, which gets a fresh database (the
// window's bare "vorn.sqlite3" resolves against the current folder), and
// moved back when this goes: after the window, declared after it.
class DatabaseFolder {
 public:
  explicit DatabaseFolder(const ScratchFolder& folder) {
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    old_directory_ = cwd;
    db::apply_schema(platform::utf8_from_wide(folder.file(L"vorn.sqlite3")));
    SetCurrentDirectoryW(folder.path().c_str());
  }
  ~DatabaseFolder() { SetCurrentDirectoryW(old_directory_.c_str()); }
  DatabaseFolder(const DatabaseFolder&) = delete;
  DatabaseFolder& operator=(const DatabaseFolder&) = delete;

 private:
  std::wstring old_directory_;  // the current folder before
};

}  // namespace efi::app::testing
