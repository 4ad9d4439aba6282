#include "app/win32/main_window.h"

#include <commctrl.h>
#include <imm.h>

#include <stdexcept>
#include <string>

#include "app/win32/app_info.h"
#include "app/win32/engine_library.h"
#include "app/win32/panel.h"
#include "app/win32/window_run_host.h"
#include "efimport/product.h"
#include "platform/text.h"

namespace efi::app {

namespace {

constexpr DWORD window_style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD window_ex_style = 0;

// GroupBox1 holds the radio buttons; the button class keeps their
// notifications to itself, so they are handed on to the window.
LRESULT CALLBACK group_box_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: return SendMessageW(GetParent(hwnd), message, wparam, lparam);
    default: return DefSubclassProc(hwnd, message, wparam, lparam);
  }
}

void register_window_class(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(instance, main_window_class, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  // The program icon (the taskbar shows the class icon); the system's
  // default one where the module carries none.
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(EFI_ICON_ID));
  wc.hIconSm =
      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(EFI_ICON_ID), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = main_window_class;
  if (!RegisterClassExW(&wc)) {
    throw std::runtime_error("registering the TF_EF window class: error " + std::to_string(GetLastError()));
  }
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, UiSeams seams, WindowOptions options)
    : instance_(instance), seams_(std::move(seams)), options_(options), title_(application_title()) {
  INITCOMMONCONTROLSEX icc{sizeof icc,
                           ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  converter_ = workbook::make_default_converter();
  environment_ = import::default_environment(*converter_);
  panel::register_class(instance_);
  register_window_class(instance_, window_proc);
  CreateWindowExW(window_ex_style, main_window_class, main_window_caption, window_style, CW_USEDEFAULT,
                  CW_USEDEFAULT, 630, 320, nullptr, nullptr, instance_, this);
  if (!hwnd_) {
    throw std::runtime_error("creating the main window: " + (create_failure_.empty()
                                                                 ? "error " + std::to_string(GetLastError())
                                                                 : create_failure_));
  }
}

MainWindow::~MainWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

LRESULT CALLBACK MainWindow::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->controls_ = {};
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  return self->handle(message, wparam, lparam);
}

LRESULT MainWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: return on_create() ? 0 : -1;
    case WM_SHOWWINDOW:
      if (on_show_window(wparam != FALSE)) return 0;
      break;
    case WM_ACTIVATE: on_activate(LOWORD(wparam) != WA_INACTIVE, HIWORD(wparam) != 0); return 0;
    case WM_SETFOCUS: on_set_focus(); return 0;
    case WM_COMMAND: on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)); return 0;
    case WM_CLOSE: on_close(); return 0;
    case WM_DESTROY: on_destroy(); return 0;
    case WM_GETMINMAXINFO: on_get_min_max_info(*reinterpret_cast<MINMAXINFO*>(lparam)); return 0;
    case WM_DPICHANGED: on_dpi_changed(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam)); return 0;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: return on_ctl_color(reinterpret_cast<HDC>(wparam));
    default: return DefWindowProcW(hwnd_, message, wparam, lparam);
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

// ---- Message handlers ----

bool MainWindow::on_create() {
  try {
    dpi_ = GetDpiForWindow(hwnd_);
    create_fonts();
    create_controls();
    apply_layout();
    SIZE size = outer_size();
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // B_OK, first in Tab order, has the focus when the window first appears.
    focus_.reset(hwnd_, control(Control::B_OK));
    FormCreate();
  } catch (const std::exception& e) {
    create_failure_ = e.what();
    return false;
  }
  return true;
}

bool MainWindow::on_show_window(bool is_shown) {
  if (!is_shown || shown_) return false;
  shown_ = true;
  FormShow();  // may close the window
  return true;
}

// What a dialog's window procedure does: the focus is kept when another
// window (a message box, a file dialog, another program) is activated and
// given back to the same control afterwards, instead of resting on the frame.
void MainWindow::on_activate(bool is_active, bool is_minimized) {
  if (!is_active) {
    focus_.keep_current();
  } else if (!is_minimized) {
    focus_.restore();
  }
}

void MainWindow::on_set_focus() { focus_.restore(); }

void MainWindow::on_command(int id, int code, HWND sender) {
  if (!sender) return;  // Esc from the dialog manager: no cancel button here
  if (id < first_control_id || static_cast<std::size_t>(id - first_control_id) >= control_count) {
    return;  // Enter outside a push button: the dialog manager's IDOK
  }
  const Control control_id = static_cast<Control>(id);
  if (is_focus_gained(spec_of(control_id).kind, code)) {
    focus_.remember(sender);
    return;
  }
  const bool clicked = code == BN_CLICKED;
  const bool double_clicked = code == panel::double_clicked;
  // One control a line: which event of it calls which handler.
  // clang-format off
  switch (control_id) {
    case Control::B_OK: if (clicked) B_OKClick(); break;
    case Control::B_close: if (clicked) B_closeClick(); break;
    case Control::B_EN:
    case Control::B_FN:
    case Control::B_EG:
    case Control::B_FG: if (clicked) B_ENClick(sender); break;
    case Control::B_ETC: if (clicked) B_ETCClick(sender); break;
    case Control::B_Y: if (clicked) B_YClick(sender); break;
    case Control::RB1:
    case Control::RB2: if (clicked) RBClick(); break;
    case Control::P_EN: if (double_clicked) P_ENDblClick(); break;
    case Control::P_FN: if (double_clicked) P_FNDblClick(); break;
    case Control::P_EG: if (double_clicked) P_EGDblClick(); break;
    case Control::P_FG: if (double_clicked) P_FGDblClick(); break;
    case Control::P_ETC: if (double_clicked) P_ETCDblClick(); break;
    case Control::P_Y: if (double_clicked) P_YDblClick(); break;
    case Control::P_yymm: if (double_clicked) P_yymmDblClick(); break;
    default: break;
  }
  // clang-format on
}

void MainWindow::on_close() {
  if (FormCloseQuery()) DestroyWindow(hwnd_);
}

void MainWindow::on_destroy() {
  if (options_.quit_on_destroy) PostQuitMessage(0);
}

void MainWindow::on_get_min_max_info(MINMAXINFO& info) const {
  // Min = max: the window keeps its size.
  SIZE size = outer_size();
  info.ptMinTrackSize = info.ptMaxTrackSize = info.ptMaxSize = {size.cx, size.cy};
}

void MainWindow::on_dpi_changed(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  create_fonts();
  apply_layout();
  SIZE size = outer_size();
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT MainWindow::on_ctl_color(HDC dc) {
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// ---- Building ----

void MainWindow::create_fonts() {
  auto tahoma = [this](int points) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(points, static_cast<int>(dpi_), 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpyW(lf.lfFaceName, L"Tahoma");
    return Font(CreateFontIndirectW(&lf));
  };
  font8_ = tahoma(8);
  font10_ = tahoma(10);
  font11_ = tahoma(11);
}

void MainWindow::create_controls() {
  for (const ControlSpec& spec : control_specs()) {
    HWND parent = spec.parent == spec.id ? hwnd_ : control(spec.parent);
    DWORD style = WS_CHILD | (spec.visible ? WS_VISIBLE : 0) | (spec.tab_stop ? WS_TABSTOP : 0);
    DWORD ex_style = 0;
    const wchar_t* window_class = nullptr;
    switch (spec.kind) {
      case Kind::container:
        window_class = panel::class_name;
        style |= WS_CLIPCHILDREN;
        ex_style |= WS_EX_CONTROLPARENT;
        break;
      case Kind::label_panel: window_class = panel::class_name; break;
      case Kind::combo:
        window_class = WC_COMBOBOXW;
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_GROUP;
        break;
      case Kind::button:
        window_class = WC_BUTTONW;
        style |= BS_PUSHBUTTON | WS_GROUP;
        break;
      case Kind::group_box:
        window_class = WC_BUTTONW;
        style |= BS_GROUPBOX | WS_CLIPCHILDREN | WS_GROUP;
        ex_style |= WS_EX_CONTROLPARENT;
        break;
      case Kind::radio:
        window_class = WC_BUTTONW;
        style |= BS_AUTORADIOBUTTON | (spec.id == Control::RB1 ? WS_GROUP : 0);
        break;
      case Kind::edit:
        window_class = WC_EDITW;
        style |= ES_AUTOHSCROLL | WS_GROUP;
        ex_style |= WS_EX_CLIENTEDGE;
        break;
      case Kind::status_bar:
        // Placed by the layout like every other control, at its own height.
        window_class = STATUSCLASSNAMEW;
        style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
        break;
      case Kind::progress: window_class = PROGRESS_CLASSW; break;
    }
    const Rect96& r = spec.rect;
    HWND child = CreateWindowExW(ex_style, window_class, spec.caption, style, scale(r.left, dpi_),
                                 scale(r.top, dpi_), scale(r.width, dpi_), scale(r.height, dpi_), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance_, nullptr);
    if (!child) {
      throw std::runtime_error("creating control " + std::to_string(static_cast<int>(spec.id)) + ": error " +
                               std::to_string(GetLastError()));
    }
    controls_[index_of(spec.id)] = child;
    if (spec.kind == Kind::container) panel::set_colour(child, GetSysColor(COLOR_BTNFACE));
    if (spec.kind == Kind::label_panel) panel::set_colour(child, spec.colour);
    if (spec.kind == Kind::button) SetWindowLongPtrW(child, GWLP_USERDATA, spec.tag);  // the Tag
    if (spec.kind == Kind::button || spec.kind == Kind::radio) report_button_focus(child);
    if (spec.kind == Kind::group_box) SetWindowSubclass(child, group_box_proc, 1, 0);
    if (spec.kind == Kind::edit && spec.id != Control::E_yfileymd) {
      SendMessageW(child, EM_SETLIMITTEXT, 0, 0);  // no length limit
    }
  }
  SendMessageW(control(Control::RB1), BM_SETCHECK, BST_CHECKED, 0);

  // E_yfileymd: at most 8 characters, no input method, a tooltip.
  HWND yfileymd = control(Control::E_yfileymd);
  SendMessageW(yfileymd, EM_SETLIMITTEXT, 8, 0);
  ImmAssociateContextEx(yfileymd, nullptr, 0);
  tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
  if (tooltip_) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(yfileymd);
    tool.lpszText = const_cast<wchar_t*>(L"Yファイル更新日");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void MainWindow::apply_layout() {
  for (const ControlSpec& spec : control_specs()) {
    HWND child = control(spec.id);
    HFONT font = spec.font_points == 8    ? font8_.get()
                 : spec.font_points == 10 ? font10_.get()
                 : spec.font_points == 11 ? font11_.get()
                                          : nullptr;
    if (font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    const Rect96& r = spec.rect;
    switch (spec.kind) {
      case Kind::progress: break;  // FormCreate places it into the status bar
      case Kind::combo: {
        // The window height includes the drop-down list; the closed box is
        // given its height through the selection field's item height.
        SetWindowPos(child, nullptr, scale(r.left, dpi_), scale(r.top, dpi_), scale(r.width, dpi_),
                     scale(r.height + 200, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
        // Measured and corrected until the closed box has its height (the
        // frame around the field differs between systems and themes).
        // (Wine reports the field 2 px higher than it was set, so the value
        // asked for is carried, not read back.)
        int asked = static_cast<int>(SendMessageW(child, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
        for (int attempt = 0; attempt < 3; ++attempt) {
          RECT closed;
          GetWindowRect(child, &closed);
          int off_by = scale(r.height, dpi_) - (closed.bottom - closed.top);
          if (off_by == 0) break;
          asked += off_by;
          SendMessageW(child, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), asked);
        }
        break;
      }
      default:
        SetWindowPos(child, nullptr, scale(r.left, dpi_), scale(r.top, dpi_), scale(r.width, dpi_),
                     scale(r.height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
  }

  HWND status = control(Control::StatusBar1);
  int edges[2] = {scale(status_panel_widths_96[0], dpi_),
                  scale(status_panel_widths_96[0] + status_panel_widths_96[1], dpi_)};
  SendMessageW(status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));

  HWND progress = control(Control::ProgressBar1);
  if (GetParent(progress) == status) {
    const Rect96& p = progress_in_status_bar_96;
    SetWindowPos(progress, nullptr, scale(p.left, dpi_), scale(p.top, dpi_), scale(p.width, dpi_),
                 scale(p.height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

SIZE MainWindow::outer_size() const {
  RECT rc{0, 0, scale(client_width_96, dpi_), scale(client_height_96, dpi_)};
  AdjustWindowRectExForDpi(&rc, window_style, FALSE, window_ex_style, dpi_);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

void MainWindow::centre_on_screen() {
  RECT rc;
  GetWindowRect(hwnd_, &rc);
  int width = rc.right - rc.left;
  int height = rc.bottom - rc.top;
  HMONITOR monitor = MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{sizeof info};
  GetMonitorInfoW(monitor, &info);
  const RECT& screen = info.rcMonitor;
  SetWindowPos(hwnd_, nullptr, screen.left + (screen.right - screen.left - width) / 2,
               screen.top + (screen.bottom - screen.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::show(int show_command) {
  if (!hwnd_) return;
  centre_on_screen();
  ShowWindow(hwnd_, show_command);
  if (hwnd_) UpdateWindow(hwnd_);
}

// ---- Helpers ----

std::wstring MainWindow::text_of(Control id) const {
  HWND h = control(id);
  int length = GetWindowTextLengthW(h);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  length = GetWindowTextW(h, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

int MainWindow::message_box(const std::wstring& text, const std::wstring& caption, UINT flags) {
  return seams_.message_box(hwnd_, text, caption, flags);
}

import::RunKeys MainWindow::take_keys() const {
  static constexpr Control rows[import::source_count][2] = {
      {Control::P_EN, Control::E_EN}, {Control::P_FN, Control::E_FN},   {Control::P_EG, Control::E_EG},
      {Control::P_FG, Control::E_FG}, {Control::P_ETC, Control::E_ETC}, {Control::P_Y, Control::E_Y}};
  import::RunKeys keys;
  keys.yymm = platform::utf8_from_wide(text_of(Control::CB_yymm));
  keys.yymmkbn = SendMessageW(control(Control::RB1), BM_GETCHECK, 0, 0) == BST_CHECKED ? 0 : 1;
  for (std::size_t i = 0; i < import::source_count; ++i) {
    keys.sources[i].is_switched_on = panel::colour(control(rows[i][0])) != red;
    keys.sources[i].path = platform::utf8_from_wide(text_of(rows[i][1]));
  }
  return keys;
}

}  // namespace efi::app
