// The controls of the TF_EF window: their names, kinds, parents, captions,
// colours, fonts and rectangles at 96 DPI, in creation order. Creation order
// is also the keyboard (Tab) order within each parent, so the table lists the
// controls that take focus in the order the operator tabs through them.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

namespace efi::app {

// Control identifiers (also the child-window IDs). They start above IDOK and
// IDCANCEL so that Enter and Esc, which the dialog manager turns into those
// commands, never reach a control's handler.
enum class Control : int {
  Panel5 = 100,
  B_OK,
  B_close,
  GroupBox1,
  RB1,
  RB2,
  CB_yymm,
  P_yymm,
  P_EN,
  P_FN,
  P_EG,
  P_FG,
  P_ETC,
  P_Y,
  E_EN,
  E_FN,
  E_EG,
  E_FG,
  E_ETC,
  B_EN,
  B_FN,
  B_EG,
  B_FG,
  B_ETC,
  E_Y,
  B_Y,
  E_yfileymd,
  StatusBar1,
  ProgressBar1,
};
constexpr int first_control_id = static_cast<int>(Control::Panel5);
constexpr std::size_t control_count = static_cast<std::size_t>(Control::ProgressBar1) - first_control_id + 1;
constexpr std::size_t index_of(Control c) {
  return static_cast<std::size_t>(static_cast<int>(c) - first_control_id);
}

enum class Kind {
  container,    // Panel5: plain raised panel holding other controls
  label_panel,  // P_*: coloured label panel, the row switch
  combo,        // CB_yymm: editable drop-down box
  button,       // B_*
  group_box,    // GroupBox1
  radio,        // RB1, RB2
  edit,         // E_*
  status_bar,   // StatusBar1
  progress,     // ProgressBar1
};

// Panel colours as COLORREF (0x00BBGGRR).
constexpr COLORREF aqua = 0xFFFF00;
constexpr COLORREF lime = 0x00FF00;
constexpr COLORREF sky_blue = 0xF0CAA6;
constexpr COLORREF red = 0x0000FF;

struct Rect96 {
  int left, top, width, height;  // in the parent's client area, 96-DPI pixels
};

struct ControlSpec {
  Control id;
  Control parent;  // the window itself when equal to `id`
  Kind kind;
  const wchar_t* caption;  // caption or initial text
  Rect96 rect;
  int font_points;  // Tahoma 8, 10 or 11; 0 keeps the control's own font
  COLORREF colour;  // label panels only: the normal colour
  int tag;          // browse buttons: which path box the handler fills
  bool tab_stop;    // takes keyboard focus with Tab
  bool visible;     // shown at start
};

const std::array<ControlSpec, control_count>& control_specs();
const ControlSpec& spec_of(Control c);

// The client area at 96 DPI.
constexpr int client_width_96 = 614;
constexpr int client_height_96 = 281;

// Status bar panels (widths, 96 DPI) and the progress bar's place in it.
constexpr int status_panel_widths_96[2] = {600, 10};
constexpr Rect96 progress_in_status_bar_96 = {2, 4, 193, 21};

// Every length of the layout goes through here: 96-DPI units to pixels.
inline int scale(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

}  // namespace efi::app
