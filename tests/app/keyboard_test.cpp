// The window worked from the keyboard, with keys typed as the operator types
// them (SendInput) and taken by the window's own message loop step: the focus
// on 実行 at first, Tab and Shift+Tab through the controls in their order,
// Enter and Space pressing the focused button, which alone looks like the
// default button, and the focus back on the same control after a message
// box, the file dialog, or another window in front.
#include <gmock/gmock.h>

#include "app/win32/message_loop.h"
#include "app_fixture.h"
#include "db/schema.h"
#include "platform/text.h"

namespace efi::app::testing {
namespace {

using C = Control;

class KeyboardTest : public AppTest {
 protected:
  // The window on screen and in front, as the operator finds it.
  void open(UiSeams seams) {
    window = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), std::move(seams),
                                          WindowOptions{.quit_on_destroy = false});
    window->show(SW_SHOWNORMAL);
    SetForegroundWindow(window->hwnd());
    settle();
  }
  void open() { open(ui.seams()); }

  // Takes what is queued through the window's message loop step until the
  // queue has stayed empty for a moment (typed keys arrive as input).
  void settle() {
    for (int quiet = 0; quiet < 3;) {
      MSG message;
      if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        dispatch_message(window ? window->hwnd() : nullptr, message);
        quiet = 0;
      } else {
        Sleep(5);
        ++quiet;
      }
    }
  }

  // Types a key (with Shift held when asked) and lets the window take it.
  void press(WORD key, bool with_shift = false) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, bool up) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = vk;
      input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
      inputs.push_back(input);
    };
    if (with_shift) add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (with_shift) add(VK_SHIFT, true);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    settle();
  }

  // The control that has the focus (the drop-down box for its edit field).
  Control focused() const {
    HWND focus = GetFocus();
    if (focus && GetParent(focus) == at(C::CB_yymm)) focus = at(C::CB_yymm);
    return static_cast<Control>(GetDlgCtrlID(focus));
  }

  bool looks_default(Control button) const {
    return (GetWindowLongPtrW(at(button), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  }

  ScratchFolder folder_;
  DatabaseFolder database_{folder_};  // 実行 runs for real, on a fresh database
};

const Control push_buttons[] = {C::B_OK, C::B_close, C::B_EN, C::B_FN, C::B_EG, C::B_FG, C::B_ETC, C::B_Y};

TEST_F(KeyboardTest, ExecuteButtonHasTheFocusWhenTheWindowAppears) {
  open();
  EXPECT_EQ(focused(), C::B_OK);
  for (Control button : push_buttons) {
    EXPECT_EQ(looks_default(button), button == C::B_OK) << static_cast<int>(button);
  }
}

TEST_F(KeyboardTest, TabAndShiftTabFollowTheOrderAndTheDefaultLookFollowsTheFocus) {
  open();
  double_click(C::P_yymm);  // the pattern group shown: its selected button joins the order
  const std::vector<Control> order = {C::B_OK, C::B_close, C::RB1,   C::CB_yymm, C::E_EN, C::E_FN,
                                      C::E_EG, C::E_FG,    C::E_ETC, C::B_EN,    C::B_FN, C::B_EG,
                                      C::B_FG, C::B_ETC,   C::E_Y,   C::B_Y};
  std::vector<Control> forward, backward;
  for (std::size_t i = 0; i < order.size(); ++i) {
    press(VK_TAB);
    forward.push_back(focused());
    for (Control button : push_buttons) {
      EXPECT_EQ(looks_default(button), button == forward.back())
          << "button " << static_cast<int>(button) << " with the focus on "
          << static_cast<int>(forward.back());
    }
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    press(VK_TAB, true);
    backward.push_back(focused());
  }
  std::vector<Control> expected_forward(order.begin() + 1, order.end());
  expected_forward.push_back(order.front());  // from the last control back to the first
  EXPECT_EQ(forward, expected_forward);
  EXPECT_EQ(backward, std::vector<Control>(order.rbegin(), order.rend()));
}

TEST_F(KeyboardTest, EnterAndSpacePressTheFocusedButton) {
  struct Case {
    Control button;
    WORD key;
    const wchar_t* opened;  // the filter of the dialog it opens, or the box it shows
  };
  const Case cases[] = {
      {C::B_EN, VK_RETURN, L"EFファイル|*.txt"},
      {C::B_FG, VK_SPACE, L"EFファイル|*.txt"},
      {C::B_ETC, VK_RETURN, L"厚労省ファイル|*.xlsx"},
      {C::B_Y, VK_SPACE, L"Yファイル|*.csv"},
      {C::B_OK, VK_RETURN, L"データ取り込みが終了しました。"},
      {C::B_OK, VK_SPACE, L"データ取り込みが終了しました。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "button " << static_cast<int>(c.button) << " key " << c.key);
    open();
    SetFocus(at(c.button));
    settle();
    ASSERT_TRUE(looks_default(c.button));
    press(c.key);
    std::vector<std::wstring> opened;
    for (const DialogCall& dialog : ui.dialogs) opened.push_back(dialog.filter);
    for (const BoxCall& box : ui.boxes) opened.push_back(box.text);
    EXPECT_THAT(opened, ::testing::ElementsAre(c.opened));
    window.reset();
    ui.dialogs.clear();
    ui.boxes.clear();
  }

  // 閉じる the same way: the window closes.
  for (WORD key : {VK_RETURN, VK_SPACE}) {
    open();
    SetFocus(at(C::B_close));
    settle();
    press(key);
    EXPECT_EQ(window->hwnd(), nullptr) << "key " << key;
    window.reset();
  }
}

TEST_F(KeyboardTest, AfterTheBrowseDialogIsCancelledTabGoesOnFromTheBrowseButton) {
  UiSeams seams = ui.seams();
  seams.open_file = real_open_file;
  open(seams);
  for (int i = 0; i < 8; ++i) press(VK_TAB);  // 実行 ... E_ETC, then B_EN
  ASSERT_EQ(focused(), C::B_EN);
  {
    DialogAnswerer cancel(IDCANCEL);
    press(VK_SPACE);
    ASSERT_EQ(cancel.seen().size(), 1u);  // the dialog opened, and was cancelled
  }
  settle();
  EXPECT_EQ(focused(), C::B_EN);
  EXPECT_TRUE(looks_default(C::B_EN));
  EXPECT_EQ(text(C::E_EN), L"");
  press(VK_TAB);
  EXPECT_EQ(focused(), C::B_FN);
}

TEST_F(KeyboardTest, AfterTheRunsMessageBoxesTheFocusIsBackOnTheExecuteButton) {
  UiSeams seams = ui.seams();
  seams.message_box = real_message_box;
  open(seams);
  set_text(C::E_EN, folder_.file(L"missing.txt"));
  {
    DialogAnswerer ok(IDOK);
    press(VK_RETURN);
    ASSERT_EQ(ok.seen().size(), 2u);  // the step's error box, then the completion box
    EXPECT_EQ(ok.seen()[0].text, L"ENファイル取り込みエラー");
    EXPECT_EQ(ok.seen()[1].text, L"データ取り込みが終了しました。");
  }
  settle();
  EXPECT_EQ(focused(), C::B_OK);
  press(VK_TAB);
  EXPECT_EQ(focused(), C::B_close);
}

TEST_F(KeyboardTest, FocusComesBackWhenTheWindowIsActivatedAgain) {
  open();
  for (int i = 0; i < 6; ++i) press(VK_TAB);  // 実行 ... E_FG
  ASSERT_EQ(focused(), C::E_FG);
  // Another program's window comes to the front, then this one again.
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  settle();
  EXPECT_NE(GetActiveWindow(), window->hwnd());
  SetForegroundWindow(window->hwnd());
  settle();
  DestroyWindow(other);
  EXPECT_EQ(focused(), C::E_FG);
  press(VK_TAB);
  EXPECT_EQ(focused(), C::E_ETC);
}

}  // namespace
}  // namespace efi::app::testing
