#include "app/win32/layout.h"

namespace efi::app {

namespace {
using C = Control;
using K = Kind;
constexpr COLORREF none = CLR_INVALID;

// Browse-button captions and the E/F row rectangles repeat; the table keeps
// them literal so that it reads against the window's drawing, one control a
// row.
// clang-format off
const std::array<ControlSpec, control_count> specs = {{
    {C::Panel5, C::Panel5, K::container, L"", {0, 0, 614, 57}, 8, none, 0, false, true},
    {C::B_OK, C::Panel5, K::button, L"実行", {198, 14, 77, 27}, 10, none, 0, true, true},
    {C::B_close, C::Panel5, K::button, L"閉じる", {289, 14, 77, 27}, 10, none, 0, true, true},
    {C::GroupBox1, C::Panel5, K::group_box, L"区分", {379, 2, 225, 50}, 10, none, 0, false, false},
    {C::RB1, C::GroupBox1, K::radio, L"パターン１", {18, 22, 96, 17}, 10, none, 0, true, true},
    {C::RB2, C::GroupBox1, K::radio, L"パターン２", {132, 22, 80, 17}, 10, none, 0, false, true},
    {C::CB_yymm, C::Panel5, K::combo, L"", {115, 15, 74, 24}, 10, none, 0, true, true},
    {C::P_yymm, C::Panel5, K::label_panel, L"年月", {23, 15, 89, 25}, 11, sky_blue, 0, false, true},
    {C::P_EN, C::P_EN, K::label_panel, L"Eファイル(入院)", {8, 64, 115, 25}, 10, aqua, 0, false, true},
    {C::P_FN, C::P_FN, K::label_panel, L"Fファイル(入院)", {8, 97, 115, 25}, 10, aqua, 0, false, true},
    {C::P_EG, C::P_EG, K::label_panel, L"Eファイル(外来)", {8, 129, 115, 25}, 10, lime, 0, false, true},
    {C::P_FG, C::P_FG, K::label_panel, L"Fファイル(外来)", {8, 162, 115, 23}, 10, lime, 0, false, true},
    {C::P_ETC, C::P_ETC, K::label_panel, L"ETCファイル(厚労省)", {8, 192, 115, 24}, 8, sky_blue, 0, false, true},
    {C::P_Y, C::P_Y, K::label_panel, L"Yファイル", {8, 222, 115, 25}, 10, sky_blue, 0, false, true},
    {C::E_EN, C::E_EN, K::edit, L"", {126, 65, 455, 24}, 10, none, 0, true, true},
    {C::E_FN, C::E_FN, K::edit, L"", {126, 98, 455, 24}, 10, none, 0, true, true},
    {C::E_EG, C::E_EG, K::edit, L"", {126, 130, 455, 24}, 10, none, 0, true, true},
    {C::E_FG, C::E_FG, K::edit, L"", {126, 162, 455, 24}, 10, none, 0, true, true},
    {C::E_ETC, C::E_ETC, K::edit, L"", {126, 193, 455, 24}, 10, none, 0, true, true},
    {C::B_EN, C::B_EN, K::button, L"...", {580, 64, 30, 25}, 8, none, 0, true, true},
    {C::B_FN, C::B_FN, K::button, L"...", {580, 98, 30, 25}, 8, none, 1, true, true},
    {C::B_EG, C::B_EG, K::button, L"...", {580, 130, 30, 25}, 8, none, 2, true, true},
    {C::B_FG, C::B_FG, K::button, L"...", {580, 162, 30, 25}, 8, none, 3, true, true},
    {C::B_ETC, C::B_ETC, K::button, L"...", {580, 192, 30, 25}, 8, none, 0, true, true},
    {C::E_Y, C::E_Y, K::edit, L"", {126, 222, 455, 24}, 10, none, 0, true, true},
    {C::B_Y, C::B_Y, K::button, L"...", {580, 222, 30, 25}, 8, none, 1, true, true},
    {C::E_yfileymd, C::E_yfileymd, K::edit, L"", {511, 236, 76, 26}, 11, none, 0, true, false},
    {C::StatusBar1, C::StatusBar1, K::status_bar, L"", {0, 255, 614, 26}, 0, none, 0, false, true},
    // Placed into the status bar by FormCreate.
    {C::ProgressBar1, C::ProgressBar1, K::progress, L"", {2, 4, 193, 21}, 0, none, 0, false, false},
}};
// clang-format on

}  // namespace

const std::array<ControlSpec, control_count>& control_specs() { return specs; }

const ControlSpec& spec_of(Control c) { return specs[index_of(c)]; }

}  // namespace efi::app
