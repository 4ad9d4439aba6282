// A fresh window: its properties, controls, layout, Tab order and the
// year-month list; the row switches and the pattern group.
#include <gmock/gmock.h>

#include "app/win32/app_info.h"
#include "app/win32/message_loop.h"
#include "app_fixture.h"

namespace efi::app::testing {
namespace {

using ::testing::ElementsAre;

struct Row {
  Control panel, path, browse;
  const wchar_t* caption;
  COLORREF colour;
};
const Row rows[] = {
    {Control::P_EN, Control::E_EN, Control::B_EN, L"Eファイル(入院)", aqua},
    {Control::P_FN, Control::E_FN, Control::B_FN, L"Fファイル(入院)", aqua},
    {Control::P_EG, Control::E_EG, Control::B_EG, L"Eファイル(外来)", lime},
    {Control::P_FG, Control::E_FG, Control::B_FG, L"Fファイル(外来)", lime},
    {Control::P_ETC, Control::E_ETC, Control::B_ETC, L"ETCファイル(厚労省)", sky_blue},
    {Control::P_Y, Control::E_Y, Control::B_Y, L"Yファイル", sky_blue},
};

std::wstring class_of(HWND hwnd) {
  wchar_t name[64];
  GetClassNameW(hwnd, name, 64);
  return name;
}

TEST_F(AppTest, FreshWindowHasItsCaptionClassSizeAndControls) {
  make_window();
  HWND main = window->hwnd();
  EXPECT_EQ(class_of(main), L"TF_EF");
  EXPECT_EQ(window_text(main), L"EFファイル取り込み");
  ASSERT_EQ(window->dpi(), 96u);
  RECT client;
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, 614);
  EXPECT_EQ(client.bottom, 281);
  EXPECT_EQ(GetClassLongPtrW(main, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);

  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << static_cast<int>(row.panel));
    EXPECT_EQ(text(row.panel), row.caption);
    EXPECT_EQ(colour(row.panel), row.colour);
    EXPECT_EQ(text(row.path), L"");
    EXPECT_EQ(text(row.browse), L"...");
  }
  EXPECT_EQ(text(Control::B_OK), L"実行");
  EXPECT_EQ(text(Control::B_close), L"閉じる");
  EXPECT_EQ(text(Control::GroupBox1), L"区分");
  EXPECT_EQ(text(Control::RB1), L"パターン１");
  EXPECT_EQ(text(Control::RB2), L"パターン２");
  EXPECT_EQ(text(Control::P_yymm), L"年月");
  EXPECT_EQ(colour(Control::P_yymm), sky_blue);
  EXPECT_TRUE(checked(Control::RB1));
  EXPECT_FALSE(checked(Control::RB2));
  EXPECT_FALSE(IsWindowVisible(at(Control::GroupBox1)) ||
               (GetWindowLongPtrW(at(Control::GroupBox1), GWL_STYLE) & WS_VISIBLE));
  // The hidden date box: at most 8 characters, hidden.
  EXPECT_FALSE(GetWindowLongPtrW(at(Control::E_yfileymd), GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(SendMessageW(at(Control::E_yfileymd), EM_GETLIMITTEXT, 0, 0), 8);
  // Path boxes have no practical length limit.
  EXPECT_GT(SendMessageW(at(Control::E_EN), EM_GETLIMITTEXT, 0, 0), 1000000);
  // Panels are of the panel class and take double-clicks.
  EXPECT_EQ(class_of(at(Control::P_EN)), panel::class_name);
  EXPECT_TRUE(GetClassLongW(at(Control::P_EN), GCL_STYLE) & CS_DBLCLKS);
}

TEST_F(AppTest, OuterSizeIsHeldWhateverIsAsked) {
  make_window();
  HWND main = window->hwnd();
  RECT before;
  GetWindowRect(main, &before);
  SetWindowPos(main, nullptr, 0, 0, 900, 500, SWP_NOMOVE | SWP_NOZORDER);
  RECT after;
  GetWindowRect(main, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
  RECT client;
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, 614);
  EXPECT_EQ(client.bottom, 281);
}

TEST_F(AppTest, ControlsSitAtTheirRectangles) {
  make_window();
  // The rectangles, in the parent's client area, at 96 DPI.
  expect_placed({
      {Control::Panel5, 0, 0, 614, 57},        {Control::P_yymm, 23, 15, 89, 25},
      {Control::CB_yymm, 115, 15, 74, 24},     {Control::B_OK, 198, 14, 77, 27},
      {Control::B_close, 289, 14, 77, 27},     {Control::GroupBox1, 379, 2, 225, 50},
      {Control::RB1, 18, 22, 96, 17},          {Control::RB2, 132, 22, 80, 17},
      {Control::P_EN, 8, 64, 115, 25},         {Control::E_EN, 126, 65, 455, 24},
      {Control::B_EN, 580, 64, 30, 25},        {Control::P_FN, 8, 97, 115, 25},
      {Control::E_FN, 126, 98, 455, 24},       {Control::B_FN, 580, 98, 30, 25},
      {Control::P_EG, 8, 129, 115, 25},        {Control::E_EG, 126, 130, 455, 24},
      {Control::B_EG, 580, 130, 30, 25},       {Control::P_FG, 8, 162, 115, 23},
      {Control::E_FG, 126, 162, 455, 24},      {Control::B_FG, 580, 162, 30, 25},
      {Control::P_ETC, 8, 192, 115, 24},       {Control::E_ETC, 126, 193, 455, 24},
      {Control::B_ETC, 580, 192, 30, 25},      {Control::P_Y, 8, 222, 115, 25},
      {Control::E_Y, 126, 222, 455, 24},       {Control::B_Y, 580, 222, 30, 25},
      {Control::E_yfileymd, 511, 236, 76, 26}, {Control::StatusBar1, 0, 255, 614, 26},
      {Control::ProgressBar1, 2, 4, 193, 21},
  });
  EXPECT_EQ(GetParent(at(Control::ProgressBar1)), at(Control::StatusBar1));
  EXPECT_EQ(GetParent(at(Control::RB1)), at(Control::GroupBox1));
  EXPECT_EQ(GetParent(at(Control::CB_yymm)), at(Control::Panel5));
  EXPECT_TRUE(IsWindowVisible(at(Control::ProgressBar1)) ||
              (GetWindowLongPtrW(at(Control::ProgressBar1), GWL_STYLE) & WS_VISIBLE));
  EXPECT_EQ(progress_maximum(), 100);
  EXPECT_EQ(progress_position(), 0);

  // Two status panels: 600 px, then 10 px.
  int edges[4] = {};
  EXPECT_EQ(SendMessageW(at(Control::StatusBar1), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 2);
  EXPECT_EQ(edges[0], 600);
  EXPECT_EQ(edges[1], 610);
}

TEST_F(AppTest, FontsAreTahomaAtTheirCharacterHeights) {
  make_window();
  struct Expected {
    Control id;
    int height;  // character height in pixels at 96 DPI
  };
  const Expected expected[] = {{Control::P_yymm, 15}, {Control::CB_yymm, 13}, {Control::B_OK, 13},
                               {Control::RB1, 13},    {Control::P_EN, 13},    {Control::E_EN, 13},
                               {Control::B_EN, 11},   {Control::P_ETC, 11},   {Control::E_yfileymd, 15}};
  for (const Expected& e : expected) {
    SCOPED_TRACE(::testing::Message() << "control " << static_cast<int>(e.id));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(at(e.id), WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW lf{};
    GetObjectW(font, sizeof lf, &lf);
    EXPECT_EQ(-lf.lfHeight, e.height);
    EXPECT_STREQ(lf.lfFaceName, L"Tahoma");
  }
}

std::vector<Control> tab_order(HWND main, HWND first) {
  std::vector<Control> order;
  HWND h = first;
  do {
    order.push_back(static_cast<Control>(GetDlgCtrlID(h)));
    h = GetNextDlgTabItem(main, h, FALSE);
  } while (h && h != first && order.size() < 40);
  return order;
}

TEST_F(AppTest, TabOrderTakesThePatternButtonOnlyWhileTheGroupIsShown) {
  make_window();
  HWND main = window->hwnd();
  window->show(SW_SHOWNOACTIVATE);
  using C = Control;
  EXPECT_THAT(tab_order(main, at(C::B_OK)),
              ElementsAre(C::B_OK, C::B_close, C::CB_yymm, C::E_EN, C::E_FN, C::E_EG, C::E_FG, C::E_ETC,
                          C::B_EN, C::B_FN, C::B_EG, C::B_FG, C::B_ETC, C::E_Y, C::B_Y));
  double_click(C::P_yymm);
  EXPECT_THAT(tab_order(main, at(C::B_OK)),
              ElementsAre(C::B_OK, C::B_close, C::RB1, C::CB_yymm, C::E_EN, C::E_FN, C::E_EG, C::E_FG,
                          C::E_ETC, C::B_EN, C::B_FN, C::B_EG, C::B_FG, C::B_ETC, C::E_Y, C::B_Y));
  click(C::RB2);
  EXPECT_THAT(tab_order(main, at(C::B_OK)),
              ElementsAre(C::B_OK, C::B_close, C::RB2, C::CB_yymm, C::E_EN, C::E_FN, C::E_EG, C::E_FG,
                          C::E_ETC, C::B_EN, C::B_FN, C::B_EG, C::B_FG, C::B_ETC, C::E_Y, C::B_Y));
}

void press(HWND main, UINT key) {
  for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
    MSG msg{GetFocus(), message, key, message == WM_KEYDOWN ? 1 : 0xC0000001, 0, {}};
    dispatch_message(main, msg);
  }
  pump();
}

TEST_F(AppTest, MessageLoopMovesFocusWithTabAndIgnoresEscAndEnterInABox) {
  make_window();
  HWND main = window->hwnd();
  window->show(SW_SHOW);
  SetForegroundWindow(main);
  SetFocus(at(Control::B_OK));
  ASSERT_EQ(GetFocus(), at(Control::B_OK));
  press(main, VK_TAB);
  EXPECT_EQ(GetFocus(), at(Control::B_close));
  press(main, VK_TAB);
  HWND combo_focus = GetFocus();
  EXPECT_TRUE(combo_focus == at(Control::CB_yymm) || GetParent(combo_focus) == at(Control::CB_yymm));
  // Shift is not down: Tab from the last control wraps to the first.
  SetFocus(at(Control::B_Y));
  press(main, VK_TAB);
  EXPECT_EQ(GetFocus(), at(Control::B_OK));
  // Esc, and Enter in a path box, neither close the window nor start a run.
  SetFocus(at(Control::E_EN));
  press(main, VK_ESCAPE);
  press(main, VK_RETURN);
  EXPECT_TRUE(IsWindow(main));
  EXPECT_TRUE(ui.boxes.empty());
}

std::vector<std::wstring> year_month_items(HWND combo) {
  std::vector<std::wstring> items;
  int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[32] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

TEST_F(AppTest, YearMonthListCountsCalendarMonthsBackAndSelectsThePrevious) {
  struct Case {
    platform::LocalDate today;
    std::vector<std::wstring> items;
  };
  const Case cases[] = {
      {{2022, 1, 1}, {L"202201", L"202112", L"202111", L"202110", L"202109", L"202108"}},
      {{2022, 1, 31}, {L"202201", L"202112", L"202111", L"202110", L"202109", L"202108"}},
      {{2021, 3, 31}, {L"202103", L"202102", L"202101", L"202012", L"202011", L"202010"}},
      {{2024, 12, 31}, {L"202412", L"202411", L"202410", L"202409", L"202408", L"202407"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.today.year << "-" << c.today.month << "-" << c.today.day);
    ui.today = c.today;
    make_window();
    EXPECT_EQ(year_month_items(at(Control::CB_yymm)), c.items);
    EXPECT_EQ(SendMessageW(at(Control::CB_yymm), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(text(Control::CB_yymm), c.items[1]);
    window.reset();
  }
}

TEST_F(AppTest, DoubleClickTogglesEachRowAndTwiceRestores) {
  make_window();
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "row " << static_cast<int>(row.panel));
    double_click(row.panel);
    EXPECT_EQ(colour(row.panel), red);
    for (const Row& other : rows) {
      if (other.panel != row.panel) EXPECT_EQ(colour(other.panel), other.colour);
    }
    double_click(row.panel);
    EXPECT_EQ(colour(row.panel), row.colour);
  }
}

TEST_F(AppTest, PatternGroupRoundTripKeepsTheSelection) {
  make_window();
  window->show(SW_SHOWNOACTIVATE);
  double_click(Control::P_yymm);
  EXPECT_TRUE(visible(Control::GroupBox1));
  EXPECT_EQ(colour(Control::P_yymm), red);
  click(Control::RB2);
  EXPECT_TRUE(checked(Control::RB2));
  EXPECT_FALSE(checked(Control::RB1));
  double_click(Control::P_yymm);
  EXPECT_FALSE(visible(Control::GroupBox1));
  EXPECT_EQ(colour(Control::P_yymm), sky_blue);
  EXPECT_TRUE(checked(Control::RB2));
  EXPECT_FALSE(checked(Control::RB1));
}

TEST(AppInfo, TitleIsTheFileNameUpToItsFirstDot) {
  EXPECT_EQ(title_from_path(L"C:\\tools\\EFImport.exe"), L"EFImport");
  EXPECT_EQ(title_from_path(L"C:\\a.b\\EF.Import.exe"), L"EF");
  EXPECT_EQ(title_from_path(L"plain"), L"plain");
  EXPECT_EQ(application_title(), L"test_app");
}

}  // namespace
}  // namespace efi::app::testing
