// The window's contact points with the operator and the clock, gathered so
// that tests can answer message boxes and file dialogs and fix the date. The
// defaults call the real MessageBoxW, GetOpenFileNameW and GetLocalTime.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/files.h"

namespace efi::app {

// An open-file dialog object (OD_EF, OD_ETC, OD_Y): its filter and the last
// file chosen through it, offered as the initial file name next time.
struct FileDialog {
  std::wstring filter;     // "label|pattern", e.g. "EFファイル|*.txt"
  std::wstring file_name;  // last chosen full path; empty until a file is chosen
};

struct UiSeams {
  // MessageBoxW: returns the button pressed (IDOK, IDCANCEL...).
  std::function<int(HWND owner, std::wstring text, std::wstring caption, UINT flags)> message_box;
  // Runs the dialog modally; true and `path` set when a file was chosen.
  std::function<bool(HWND owner, FileDialog& dialog, std::wstring& path)> open_file;
  std::function<platform::LocalDate()> today;  // the local date for the year-month list
};

UiSeams default_seams();

// The real calls behind the defaults.
int real_message_box(HWND owner, std::wstring text, std::wstring caption, UINT flags);
bool real_open_file(HWND owner, FileDialog& dialog, std::wstring& path);
platform::LocalDate real_today();

}  // namespace efi::app
