// The window's run host on its own: the progress bar ends exactly where the
// run put it although unseen moves are held back, the status panel text, and
// the message pump taking what is queued.
#include "app/win32/window_run_host.h"

#include "app_fixture.h"

namespace efi::app::testing {
namespace {

class HostTest : public AppTest {
 protected:
  void SetUp() override { make_window(); }
  WindowRunHost host() {
    return WindowRunHost(window->hwnd(), at(Control::StatusBar1), at(Control::ProgressBar1), seams_,
                         L"EFImport");
  }
  UiSeams seams_ = ui.seams();
};

TEST_F(HostTest, BarEndsExactlyWhereTheRunPutIt) {
  WindowRunHost h = host();
  struct Case {
    int maximum;
    std::vector<int> positions;
    int shown;  // PBM_GETPOS once the host has finished
  };
  const Case cases[] = {
      {100000, {1, 2, 3, 4, 5}, 5},             // too small a move to draw: still exact at the end
      {1000, {1, 500, 999, 1000, 1001}, 1000},  // held at the maximum
      {0, {1}, 0},                              // a one-line file: maximum 0, position 1 held at 0
      {35, {1, 35}, 35},
      {35, {1, 20, 0}, 0},  // back to 0 after a step
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maximum);
    h.set_progress_max(c.maximum);
    for (int p : c.positions) h.set_progress_position(p);
    h.finish();
    EXPECT_EQ(progress_maximum(), c.maximum);
    EXPECT_EQ(progress_position(), c.shown);
  }
}

TEST_F(HostTest, StatusBoxesAndPump) {
  WindowRunHost h = host();
  h.set_status("Eファイル(入院)　　");
  EXPECT_EQ(status_text(), L"\t\tEファイル(入院)　　");
  h.set_status("");
  EXPECT_EQ(status_text(), L"\t\t");

  // A position set before a box is on the bar while the box is up.
  h.set_progress_max(100000);
  h.set_progress_position(7);
  int position_in_box = -1;
  ui.on_box = [&](const BoxCall&) { position_in_box = progress_position(); };
  const import::Failure cause = import::Failure::missing_field("fn.txt", 3, 18, 2, std::nullopt);
  h.show_step_error({"FNファイル取り込みエラー", cause});
  EXPECT_EQ(position_in_box, 7);
  h.show_general_error("だめです.");
  h.show_completion("データ取り込みが終了しました。", "EFファイル取り込み");
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[0].text, L"FNファイル取り込みエラー");  // never the cause
  EXPECT_EQ(ui.boxes[0].caption, L"EFImport");
  EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_OK));
  EXPECT_EQ(ui.boxes[1].text, L"だめです.");
  EXPECT_EQ(ui.boxes[1].flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
  EXPECT_EQ(ui.boxes[2].caption, L"EFファイル取り込み");
  EXPECT_EQ(ui.boxes[2].flags, 64u);

  // The first pump takes every queued message; a WM_QUIT is kept for later.
  double_click(Control::P_EN);
  PostMessageW(at(Control::P_EN), WM_LBUTTONDBLCLK, MK_LBUTTON, 0);
  PostQuitMessage(3);
  h.pump_messages();
  EXPECT_EQ(colour(Control::P_EN), aqua);  // toggled twice: once sent, once pumped
  EXPECT_TRUE(h.quit_seen());
  EXPECT_EQ(h.quit_code(), 3);
}

TEST_F(AppTest, DpiChangeLaysEverythingOutAgain) {
  make_window();
  RECT suggested{10, 20, 10 + 945, 20 + 480};
  SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window->dpi(), 144u);
  // 96-DPI rectangles times 1.5, rounded.
  expect_placed({{Control::B_OK, 297, 21, 116, 41},
                 {Control::E_EN, 189, 98, 683, 36},
                 {Control::RB2, 198, 33, 120, 26},
                 {Control::ProgressBar1, 3, 6, 290, 32}});
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(at(Control::E_EN), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -20);  // 10 pt at 144 DPI
  int edges[2] = {};
  SendMessageW(at(Control::StatusBar1), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  EXPECT_EQ(edges[0], 900);
  EXPECT_EQ(edges[1], 915);
}

TEST_F(AppTest, HiddenDateBoxCarriesItsTooltip) {
  make_window();
  ASSERT_NE(window->tooltip(), nullptr);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = window->hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(at(Control::E_yfileymd));
  wchar_t text[80] = {};
  tool.lpszText = text;
  SendMessageW(window->tooltip(), TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, L"Yファイル更新日");
}

}  // namespace
}  // namespace efi::app::testing
