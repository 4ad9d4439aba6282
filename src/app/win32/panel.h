// The panel window class: a raised panel filled with its own colour, with
// its caption centred in it. It takes no focus. A double-click is reported
// to the parent as WM_COMMAND with the notification code `double_clicked`,
// and the commands and colour requests of child controls are passed on to
// the parent, so a panel can hold controls (Panel5) as well as be a label.
#pragma once

#include <windows.h>

namespace efi::app::panel {

constexpr wchar_t class_name[] = L"EfiPanel";
constexpr WORD double_clicked = 1;  // WM_COMMAND notification code

// Registers the class once per process (CS_DBLCLKS).
void register_class(HINSTANCE instance);

COLORREF colour(HWND panel);
void set_colour(HWND panel, COLORREF colour);  // repaints

}  // namespace efi::app::panel
