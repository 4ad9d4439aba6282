// The main window F_EF (window class TF_EF): its controls, the year-month
// list, the six input rows, the pattern group, the sibling check, and the
// hand-over to the import run. It owns the connection FDC1, the statement
// objects, the workbook converter and the dialogs for its whole life.
//
// The window procedure only dispatches: each message goes to a handler named
// after it (on_create, on_command, on_dpi_changed...), and each event of a
// control to the handler named after the control and event (FormCreate,
// B_OKClick, P_ENDblClick...).
// A run executes on the GUI thread inside B_OKClick; while it runs, a second
// press of B_OK is ignored and a close request is kept until the run returns.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "app/win32/keyboard_focus.h"
#include "app/win32/layout.h"
#include "app/win32/ui_seams.h"
#include "db/connection.h"
#include "import/run.h"
#include "workbook/converter.h"

namespace efi::app {

constexpr wchar_t main_window_class[] = L"TF_EF";
constexpr wchar_t main_window_caption[] = L"EFファイル取り込み";
constexpr wchar_t sibling_window_class[] = L"TF_Brenmoor";

struct WindowOptions {
  bool quit_on_destroy = true;  // post WM_QUIT when the window goes (the program ends)
};

class MainWindow {
 public:
  // Creates the window and its controls and runs FormCreate; not yet shown.
  MainWindow(HINSTANCE instance, UiSeams seams, WindowOptions options = {});
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Runs FormShow, then shows the window centred on the screen unless
  // FormShow closed it.
  void show(int show_command = SW_SHOWNORMAL);

  HWND hwnd() const { return hwnd_; }  // null once the window is destroyed
  HWND control(Control id) const { return controls_[index_of(id)]; }
  bool is_running() const { return running_; }
  UINT dpi() const { return dpi_; }
  HWND tooltip() const { return tooltip_; }  // E_yfileymd's tooltip

  db::Connection& connection() { return fdc1_; }
  import::Environment& environment() { return environment_; }
  const FileDialog& dialog_ef() const { return od_ef_; }

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

  // Message handlers.
  bool on_create();                    // false: the window is not created
  bool on_show_window(bool is_shown);  // true: FormShow ran
  void on_activate(bool is_active, bool is_minimized);
  void on_set_focus();
  void on_command(int id, int code, HWND sender);
  void on_close();
  void on_destroy();
  void on_get_min_max_info(MINMAXINFO& info) const;
  void on_dpi_changed(UINT dpi, const RECT& suggested);
  LRESULT on_ctl_color(HDC dc);

  // Event handlers.
  void FormCreate();
  void FormShow();
  bool FormCloseQuery();  // false while a run is under way: the close waits for it
  void B_closeClick();
  void B_OKClick();
  void B_ENClick(HWND sender);
  void B_ETCClick(HWND sender);
  void B_YClick(HWND sender);
  void P_ENDblClick();
  void P_FNDblClick();
  void P_EGDblClick();
  void P_FGDblClick();
  void P_ETCDblClick();
  void P_YDblClick();
  void P_yymmDblClick();
  void RBClick();  // keeps the Tab stop on the selected pattern button

  // Building and laying out.
  void create_controls();
  void create_fonts();
  void apply_layout();
  SIZE outer_size() const;
  void centre_on_screen();

  void toggle_row(Control panel);
  void browse(FileDialog& dialog, HWND sender, std::initializer_list<Control> by_tag);
  import::RunKeys take_keys() const;
  std::wstring text_of(Control id) const;
  int message_box(const std::wstring& text, const std::wstring& caption, UINT flags);

  HINSTANCE instance_;
  UiSeams seams_;
  WindowOptions options_;
  HWND hwnd_ = nullptr;
  std::array<HWND, control_count> controls_{};  // by index_of(Control)
  HWND tooltip_ = nullptr;                      // the tooltip of E_yfileymd
  UINT dpi_ = 96;                               // the DPI the layout was made for
  FocusKeeper focus_;                           // the control given the focus on activation
  struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
  };
  using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;
  Font font8_, font10_, font11_;      // Tahoma 8, 10 and 11 pt at dpi_
  std::wstring title_;                // application title, caption of the error boxes
  std::wstring engine_library_name_;  // FDSQL1's library name; the engine is linked in, nothing loads it

  FileDialog od_ef_{L"EFファイル|*.txt", {}};          // OD_EF: the four E and F rows
  FileDialog od_etc_{L"厚労省ファイル|*.xlsx", {}};    // OD_ETC
  FileDialog od_y_{L"Yファイル|*.csv", {}};            // OD_Y
  FileDialog save_dialog1_{L"CSVファイル|*.csv", {}};  // SaveDialog1: never opened

  db::Connection fdc1_{"vorn.sqlite3"};             // FDC1
  import::Statements statements_{fdc1_};            // FDQ_*
  std::unique_ptr<workbook::Converter> converter_;  // ConvertExcelFile's engine
  import::Environment environment_;

  std::string create_failure_;    // why WM_CREATE failed, for the constructor's exception
  bool shown_ = false;            // FormShow has run
  bool running_ = false;          // a run is under way
  bool close_requested_ = false;  // a close arrived during the run
};

}  // namespace efi::app
