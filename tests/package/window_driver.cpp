// The package test's hands on Windows (tests/scripts/package.py runs it
// under Wine). Two jobs:
//
//   window_driver run FOLDER UNTIL YYMM EN FN EG FG ETC Y
//     starts FOLDER\EFImport.exe with FOLDER as its working directory, as
//     Explorer does, waits for its TF_EF window, types the year-month and the
//     six paths into their boxes, presses 実行 and answers every message box
//     with OK, until the box whose text is UNTIL; then closes the window and
//     waits for the program to end. It prints, one a line (UTF-8):
//       box <TAB> caption <TAB> text     each message box, in order
//       engine <TAB> present|missing     sqlite3.dll beside the program once
//                                        the window was up
//       exit <TAB> N                     the program's exit code
//     and exits 0 when the program ended on its own after UNTIL, else 1.
//   window_driver record FILE PAGE
//     appends PAGE and a line break to FILE: the test's stand-in for the
//     browser that opens a report page.
//
// The control ids are the window's own (app/win32/layout.h); texts become
// UTF-8 as the program's own do (platform/text.h).
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/win32/layout.h"
#include "platform/text.h"

namespace {

using efi::app::Control;

constexpr DWORD guard_ms = 180000;  // the longest a run of the sample files may take under Wine

// A window's text in UTF-8; a stray half of a surrogate pair shows as U+FFFD.
std::string utf8(const std::wstring& text) {
  return efi::platform::utf8_from_wide(text, efi::platform::OnInvalid::replace);
}

void print_line(const std::vector<std::wstring>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += '\t';
    line += utf8(fields[i]);
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::wstring window_text(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  return text;
}

struct WindowSearch {
  DWORD process;
  const wchar_t* window_class;
  const std::set<HWND>* skipped;  // windows already dealt with
  HWND found;
};

BOOL CALLBACK match_window(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  if (owner == search->process && std::wstring(name) == search->window_class && IsWindowVisible(hwnd) &&
      (search->skipped == nullptr || search->skipped->count(hwnd) == 0)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// A visible top-level window of `window_class` owned by `process`, not among `skipped`.
HWND find_window(DWORD process, const wchar_t* window_class, const std::set<HWND>* skipped = nullptr) {
  WindowSearch search{process, window_class, skipped, nullptr};
  EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct ControlSearch {
  int id;
  HWND found;
};

BOOL CALLBACK match_control(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<ControlSearch*>(data);
  if (GetDlgCtrlID(hwnd) == search->id) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// A control of the window at any depth (some sit in Panel5).
HWND control(HWND window, Control id) {
  ControlSearch search{static_cast<int>(id), nullptr};
  EnumChildWindows(window, match_control, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int record(const std::wstring& file, const std::wstring& page) {
  FILE* out = _wfopen(file.c_str(), L"ab");
  if (!out) return 1;
  const std::string line = utf8(page) + "\n";
  std::fwrite(line.data(), 1, line.size(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}

int run(const std::vector<std::wstring>& args) {
  const std::wstring& folder = args[0];
  const std::wstring& until = args[1];
  const std::wstring& yymm = args[2];
  const Control path_boxes[] = {Control::E_EN, Control::E_FN,  Control::E_EG,
                                Control::E_FG, Control::E_ETC, Control::E_Y};

  const std::wstring exe = folder + L"\\EFImport.exe";
  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    print_line({L"error", L"cannot start " + exe});
    return 1;
  }
  CloseHandle(process.hThread);
  const DWORD started = GetTickCount();
  auto in_time = [&] { return GetTickCount() - started < guard_ms; };

  HWND main = nullptr;
  while (!main && in_time()) {
    main = find_window(process.dwProcessId, L"TF_EF");
    if (!main) Sleep(50);
  }
  bool finished = false;
  if (main) {
    const DWORD engine = GetFileAttributesW((folder + L"\\sqlite3.dll").c_str());
    print_line({L"engine", engine == INVALID_FILE_ATTRIBUTES ? L"missing" : L"present"});

    SendMessageW(control(main, Control::CB_yymm), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(yymm.c_str()));
    for (std::size_t i = 0; i < std::size(path_boxes); ++i) {
      const std::wstring& path = args[3 + i];
      SendMessageW(control(main, path_boxes[i]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    }
    // Posted, as a click arrives: the run keeps the window answering while it works.
    PostMessageW(control(main, Control::B_OK), BM_CLICK, 0, 0);

    std::set<HWND> answered;
    while (!finished && in_time() && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
      HWND box = find_window(process.dwProcessId, L"#32770", &answered);
      if (!box) {
        Sleep(50);
        continue;
      }
      Sleep(100);  // let the box finish drawing its text
      wchar_t text[512] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 512);  // a message box's static text
      print_line({L"box", window_text(box), text});
      answered.insert(box);
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      while (IsWindow(box) && in_time()) Sleep(20);  // gone before its handle can come back
      answered.erase(box);
      finished = until == text;
    }
    if (finished) PostMessageW(main, WM_CLOSE, 0, 0);
  }
  if (!finished) print_line({L"error", main ? L"the box to wait for did not come" : L"no TF_EF window"});
  if (WaitForSingleObject(process.hProcess, finished ? 30000 : 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  print_line({L"exit", std::to_wstring(code)});
  return finished && code == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == L"record") return record(args[1], args[2]);
  if (args.size() == 10 && args[0] == L"run") return run({args.begin() + 1, args.end()});
  std::fputs(
      "usage: window_driver run FOLDER UNTIL YYMM EN FN EG FG ETC Y\n"
      "       window_driver record FILE PAGE\n",
      stderr);
  return 2;
}
