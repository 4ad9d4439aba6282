#include "app/win32/panel.h"

namespace efi::app::panel {

namespace {

// Window extra bytes: the fill colour and the font set by WM_SETFONT.
constexpr int colour_slot = 0;
constexpr int font_slot = sizeof(LONG_PTR);

void paint(HWND hwnd, HDC dc) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  HBRUSH brush = CreateSolidBrush(colour(hwnd));
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
  DrawEdge(dc, &rc, BDR_RAISEDINNER, BF_RECT);

  wchar_t caption[256];
  int length = GetWindowTextW(hwnd, caption, 256);
  if (length > 0) {
    HFONT font = reinterpret_cast<HFONT>(GetWindowLongPtrW(hwnd, font_slot));
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, caption, length, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
  }
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      paint(hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT: paint(hwnd, reinterpret_cast<HDC>(wparam)); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT fills everything
    case WM_SETFONT:
      SetWindowLongPtrW(hwnd, font_slot, static_cast<LONG_PTR>(wparam));
      if (LOWORD(lparam)) InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return GetWindowLongPtrW(hwnd, font_slot);
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcW(hwnd, message, wparam, lparam);
      InvalidateRect(hwnd, nullptr, TRUE);
      return result;
    }
    case WM_LBUTTONDBLCLK:
      SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), double_clicked),
                   reinterpret_cast<LPARAM>(hwnd));
      return 0;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
      // Children of a holding panel talk to the window that owns the handlers.
      return SendMessageW(GetParent(hwnd), message, wparam, lparam);
    default: return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace

void register_class(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(instance, class_name, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = window_proc;
  wc.cbWndExtra = 2 * sizeof(LONG_PTR);
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);
}

COLORREF colour(HWND panel) { return static_cast<COLORREF>(GetWindowLongPtrW(panel, colour_slot)); }

void set_colour(HWND panel, COLORREF colour) {
  SetWindowLongPtrW(panel, colour_slot, static_cast<LONG_PTR>(colour));
  InvalidateRect(panel, nullptr, TRUE);
}

}  // namespace efi::app::panel
