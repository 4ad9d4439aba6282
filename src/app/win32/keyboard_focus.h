// The keyboard behaviour a dialog gets from the dialog manager, given to the
// main window, which is an ordinary window: the control that had the focus is
// kept while the window is inactive (a message box or a file dialog is up, or
// another program is in front) and gets it back when the window is activated
// again, and the focused push button takes the default-button look, so Enter
// presses it as Space does.
//
// The window learns which control has the focus from the controls' own
// notifications (EN_SETFOCUS, CBN_SETFOCUS) and, for buttons, from a subclass
// that reports BN_SETFOCUS. Buttons are not given BS_NOTIFY for this: with it,
// the second click of a double-click on a push button no longer presses it.
#pragma once

#include <windows.h>

#include "app/win32/layout.h"

namespace efi::app {

// Subclasses a push button or radio button: it reports gaining the focus to
// its parent as WM_COMMAND with BN_SETFOCUS, and a push button wears the
// default-button look (BS_DEFPUSHBUTTON) exactly while it has the focus, which
// is also what makes the dialog manager turn Enter into its click.
void report_button_focus(HWND button);

// Whether a WM_COMMAND notification code from a control of this kind says
// the control gained the focus.
bool is_focus_gained(Kind kind, int notification_code);

// Gives the focused push button of `window` its default look back. Called
// after the dialog manager has handled a key: when Tab moves the focus, it
// takes the look from every button of the window and gives it back only to
// one it can find among the window's direct children, which misses the
// buttons inside a panel (実行 and 閉じる).
void restore_default_look(HWND window);

// The control of a window that had the focus last.
class FocusKeeper {
 public:
  // `window` is the top-level window; `first` gets the focus until another
  // control has had it.
  void reset(HWND window, HWND first);

  // A control of the window gained the focus.
  void remember(HWND control) { last_ = control; }
  // The window is being deactivated: keep what has the focus now, if it is
  // one of the window's controls (a modal box may already have taken it).
  void keep_current();
  // Gives the focus back to the control kept, or to the first control in
  // Tab order when that one can no longer take it (hidden or disabled).
  void restore() const;

 private:
  HWND window_ = nullptr;  // the top-level window whose controls are tracked
  HWND last_ = nullptr;    // the control that had the focus last
};

}  // namespace efi::app
