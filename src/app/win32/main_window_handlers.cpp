// The event handlers of TF_EF: start-up, the sibling check, closing, the
// execute button, browsing, the row switches and the pattern group.
#include "app/win32/main_window.h"

#include <commctrl.h>

#include "app/win32/app_info.h"
#include "app/win32/engine_library.h"
#include "app/win32/panel.h"
#include "app/win32/window_run_host.h"
#include "platform/text.h"

namespace efi::app {

void MainWindow::FormCreate() {
  // The progress bar lives in the status bar, clear of the right-justified text.
  HWND status = control(Control::StatusBar1);
  HWND progress = control(Control::ProgressBar1);
  SetParent(progress, status);
  const Rect96& p = progress_in_status_bar_96;
  SetWindowPos(progress, nullptr, scale(p.left, dpi_), scale(p.top, dpi_), scale(p.width, dpi_),
               scale(p.height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(progress, PBM_SETRANGE32, 0, 100);
  SendMessageW(progress, PBM_SETPOS, 0, 0);
  ShowWindow(progress, SW_SHOW);

  // This month and the five before it; the previous month is preselected.
  HWND yymm = control(Control::CB_yymm);
  for (const std::wstring& item : year_month_list(seams_.today())) {
    SendMessageW(yymm, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
  SendMessageW(yymm, CB_SETCURSEL, 1, 0);

  engine_library_name_ = engine_library_file;

  // The database by its bare name: it resolves against the current
  // directory when the connection first opens.
  fdc1_.set_database("vorn.sqlite3");

  // The engine library file beside the executable, rewritten at every start.
  std::wstring failure =
      write_engine_library(GetModuleHandleW(nullptr), executable_folder_wide() + engine_library_file);
  if (!failure.empty()) {
    message_box(platform::wide_from_utf8(import::general_error_text(platform::utf8_from_wide(failure))),
                title_, MB_ICONERROR | MB_OK);
  }
}

void MainWindow::FormShow() {
  HWND sibling = FindWindowW(sibling_window_class, nullptr);
  if (!sibling) return;
  int answer = message_box(L"マスタ設定が実行中です、\r\n閉じて続行しますか？", main_window_caption,
                           MB_OKCANCEL | MB_ICONQUESTION);
  if (answer == IDOK) {
    PostMessageW(sibling, WM_CLOSE, 0, 0);  // no wait: the other program ends on its own
    return;
  }
  DestroyWindow(hwnd_);
}

bool MainWindow::FormCloseQuery() {
  if (!running_) return true;
  close_requested_ = true;  // carried out when the run returns
  return false;
}

void MainWindow::B_closeClick() {
  if (FormCloseQuery()) DestroyWindow(hwnd_);
}

void MainWindow::B_OKClick() {
  if (running_) return;  // no run inside a run
  running_ = true;
  bool quit_seen = false;
  int quit_code = 0;
  try {
    import::RunKeys keys = take_keys();
    WindowRunHost host(hwnd_, control(Control::StatusBar1), control(Control::ProgressBar1), seams_, title_);
    import::run(keys, fdc1_, statements_, host, environment_);
    host.finish();
    quit_seen = host.quit_seen();
    quit_code = host.quit_code();
  } catch (const std::exception& e) {
    message_box(platform::wide_from_utf8(import::general_error_text(e.what())), title_, MB_ICONERROR | MB_OK);
  }
  running_ = false;
  if (quit_seen) PostQuitMessage(quit_code);
  if (close_requested_) {
    close_requested_ = false;
    DestroyWindow(hwnd_);
  }
}

void MainWindow::browse(FileDialog& dialog, HWND sender, std::initializer_list<Control> by_tag) {
  std::wstring path;
  if (!seams_.open_file(hwnd_, dialog, path)) return;  // cancelled: nothing changes
  dialog.file_name = path;
  LONG_PTR tag = GetWindowLongPtrW(sender, GWLP_USERDATA);
  if (tag < 0 || static_cast<std::size_t>(tag) >= by_tag.size()) return;
  SetWindowTextW(control(by_tag.begin()[tag]), path.c_str());
}

void MainWindow::B_ENClick(HWND sender) {
  browse(od_ef_, sender, {Control::E_EN, Control::E_FN, Control::E_EG, Control::E_FG});
}

void MainWindow::B_ETCClick(HWND sender) { browse(od_etc_, sender, {Control::E_ETC, Control::E_Y}); }

void MainWindow::B_YClick(HWND sender) { browse(od_y_, sender, {Control::E_ETC, Control::E_Y}); }

void MainWindow::toggle_row(Control id) {
  HWND p = control(id);
  COLORREF normal = spec_of(id).colour;
  panel::set_colour(p, panel::colour(p) == normal ? red : normal);
}

void MainWindow::P_ENDblClick() { toggle_row(Control::P_EN); }
void MainWindow::P_FNDblClick() { toggle_row(Control::P_FN); }
void MainWindow::P_EGDblClick() { toggle_row(Control::P_EG); }
void MainWindow::P_FGDblClick() { toggle_row(Control::P_FG); }
void MainWindow::P_ETCDblClick() { toggle_row(Control::P_ETC); }
void MainWindow::P_YDblClick() { toggle_row(Control::P_Y); }

void MainWindow::P_yymmDblClick() {
  HWND label = control(Control::P_yymm);
  HWND group = control(Control::GroupBox1);
  if (panel::colour(label) == sky_blue) {
    ShowWindow(group, SW_SHOW);
    panel::set_colour(label, red);
  } else {
    ShowWindow(group, SW_HIDE);
    panel::set_colour(label, sky_blue);
  }
}

void MainWindow::RBClick() {
  // Tab reaches the pattern group at its selected button only.
  for (Control id : {Control::RB1, Control::RB2}) {
    HWND button = control(id);
    LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    bool checked = SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
    style = checked ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    SetWindowLongPtrW(button, GWL_STYLE, style);
  }
}

}  // namespace efi::app
