#include "app/win32/keyboard_focus.h"

#include <commctrl.h>

namespace efi::app {

namespace {

constexpr UINT_PTR button_subclass_id = 1;

bool is_push_button(HWND button) {
  const LONG_PTR type = GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

LRESULT CALLBACK button_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  switch (message) {
    case WM_SETFOCUS: {
      LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
      // BM_SETSTYLE changes the button type only, and redraws.
      if (is_push_button(hwnd)) SendMessageW(hwnd, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_SETFOCUS),
                   reinterpret_cast<LPARAM>(hwnd));
      return result;
    }
    case WM_KILLFOCUS:
      if (is_push_button(hwnd)) SendMessageW(hwnd, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      break;
    case WM_NCDESTROY: RemoveWindowSubclass(hwnd, button_proc, button_subclass_id); break;
    default: break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace

void report_button_focus(HWND button) { SetWindowSubclass(button, button_proc, button_subclass_id, 0); }

bool is_focus_gained(Kind kind, int notification_code) {
  switch (kind) {
    case Kind::button:
    case Kind::radio: return notification_code == BN_SETFOCUS;
    case Kind::edit: return notification_code == EN_SETFOCUS;
    case Kind::combo: return notification_code == CBN_SETFOCUS;
    default: return false;
  }
}

void restore_default_look(HWND window) {
  HWND focus = GetFocus();
  if (!focus || !IsChild(window, focus)) return;
  wchar_t name[16] = {};
  GetClassNameW(focus, name, 16);
  if (lstrcmpiW(name, WC_BUTTONW) != 0) return;
  if ((GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK) == BS_PUSHBUTTON) {
    SendMessageW(focus, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  }
}

void FocusKeeper::reset(HWND window, HWND first) {
  window_ = window;
  last_ = first;
}

void FocusKeeper::keep_current() {
  HWND focus = GetFocus();
  if (focus && IsChild(window_, focus)) last_ = focus;
}

void FocusKeeper::restore() const {
  if (!window_) return;  // not yet created
  HWND target = last_;
  if (!target || !IsWindow(target) || !IsWindowVisible(target) || !IsWindowEnabled(target)) {
    target = GetNextDlgTabItem(window_, nullptr, FALSE);
  }
  if (target) SetFocus(target);
}

}  // namespace efi::app
