// Browse buttons: which dialog opens, which box a chosen file fills, what a
// cancelled dialog leaves, and the file a dialog offers next time.
#include "app_fixture.h"

namespace efi::app::testing {
namespace {

const Control path_boxes[] = {Control::E_EN, Control::E_FN,  Control::E_EG,
                              Control::E_FG, Control::E_ETC, Control::E_Y};

TEST_F(AppTest, EachBrowseButtonFillsOnlyItsOwnBoxThroughItsDialog) {
  struct Case {
    Control button;
    Control filled;
    const wchar_t* filter;
  };
  const Case cases[] = {
      {Control::B_EN, Control::E_EN, L"EFファイル|*.txt"},
      {Control::B_FN, Control::E_FN, L"EFファイル|*.txt"},
      {Control::B_EG, Control::E_EG, L"EFファイル|*.txt"},
      {Control::B_FG, Control::E_FG, L"EFファイル|*.txt"},
      {Control::B_ETC, Control::E_ETC, L"厚労省ファイル|*.xlsx"},
      {Control::B_Y, Control::E_Y, L"Yファイル|*.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "button " << static_cast<int>(c.button));
    make_window();
    const std::wstring chosen = L"C:\\データ\\選んだ.txt";
    ui.dialog_answers = {chosen};
    click(c.button);
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].filter, c.filter);
    for (Control box : path_boxes) {
      EXPECT_EQ(text(box), box == c.filled ? chosen : L"") << "box " << static_cast<int>(box);
    }
    window.reset();
    ui.dialogs.clear();
  }
}

TEST_F(AppTest, CancelledBrowseLeavesTheBoxAsItWas) {
  make_window();
  set_text(Control::E_ETC, L"C:\\typed\\tp20211101.xlsx");
  ui.dialog_answers = {L"", L""};
  click(Control::B_ETC);
  click(Control::B_FN);
  EXPECT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(text(Control::E_ETC), L"C:\\typed\\tp20211101.xlsx");
  EXPECT_EQ(text(Control::E_FN), L"");
  // A cancelled dialog keeps offering nothing new.
  ui.dialog_answers = {L""};
  click(Control::B_ETC);
  EXPECT_EQ(ui.dialogs.back().offered, L"");
}

TEST_F(AppTest, EfDialogIsSharedAndOffersTheLastChosenFile) {
  make_window();
  ui.dialog_answers = {L"C:\\dpc\\EN_202110.txt", L"", L"C:\\dpc\\EG_202110.txt"};
  click(Control::B_EN);
  click(Control::B_EG);  // cancelled
  click(Control::B_FG);
  ASSERT_EQ(ui.dialogs.size(), 3u);
  EXPECT_EQ(ui.dialogs[0].offered, L"");
  EXPECT_EQ(ui.dialogs[1].offered, L"C:\\dpc\\EN_202110.txt");
  EXPECT_EQ(ui.dialogs[2].offered, L"C:\\dpc\\EN_202110.txt");
  EXPECT_EQ(ui.dialogs[0].dialog, ui.dialogs[1].dialog);
  EXPECT_EQ(ui.dialogs[1].dialog, ui.dialogs[2].dialog);
  EXPECT_EQ(text(Control::E_EG), L"");
  EXPECT_EQ(text(Control::E_FG), L"C:\\dpc\\EG_202110.txt");

  // The other dialogs are objects of their own with their own memory.
  ui.dialog_answers = {L"C:\\dpc\\y.csv", L""};
  click(Control::B_Y);
  click(Control::B_ETC);
  EXPECT_NE(ui.dialogs[3].dialog, ui.dialogs[0].dialog);
  EXPECT_NE(ui.dialogs[4].dialog, ui.dialogs[3].dialog);
  EXPECT_EQ(ui.dialogs[4].offered, L"");
}

// The real dialog, cancelled as it opens: nothing is chosen and the name it
// remembers stays.
TEST(RealFileDialog, CancelReturnsNothingAndKeepsTheRememberedName) {
  FileDialog dialog{L"EFファイル|*.txt", L"C:\\dpc\\EN_202110.txt"};
  std::wstring path = L"unchanged";
  DialogAnswerer answerer(IDCANCEL);
  bool chosen = real_open_file(nullptr, dialog, path);
  EXPECT_FALSE(chosen);
  EXPECT_EQ(path, L"unchanged");
  EXPECT_EQ(answerer.seen().size(), 1u);
  EXPECT_EQ(dialog.file_name, L"C:\\dpc\\EN_202110.txt");
}

}  // namespace
}  // namespace efi::app::testing
