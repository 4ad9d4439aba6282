// The execute button: a whole run over the samples into a schema database,
// the keys and rows taken from the controls, failing steps, the message boxes
// (through the seams and, for a few, the real boxes), a second press during
// a run and a close during a run.
#include <fstream>
#include <functional>
#include <string>

#include "app_fixture.h"
#include "db/schema.h"
#include "platform/text.h"
#include "support/efload_process.h"
#include "support/query.h"
#include "workbook/converter.h"

namespace efi::app::testing {
namespace {

const std::wstring completion_text = L"データ取り込みが終了しました。";
const std::wstring completion_caption = L"EFファイル取り込み";

std::wstring sample(const char* name) {
  return windows_path(std::string(EFI_SOURCE_DIR) + "/samples/" + name);
}

// Stands in for Excel: writes the converted sample list.
class SampleConverter : public workbook::Converter {
 public:
  void convert(const std::string&, const std::string& out_file, int) override {
    std::filesystem::copy_file(std::filesystem::path(sample("etc_tp20211101-01_05_converted.csv")),
                               std::filesystem::path(platform::wide_from_utf8(out_file)),
                               std::filesystem::copy_options::overwrite_existing);
  }
};

class RunTest : public AppTest {
 protected:
  void SetUp() override {
    make_window();
    window->environment().converter = &converter_;
    window->environment().temp_csv_path = platform::utf8_from_wide(folder_.file(L"vornexport.csv"));
    window->environment().today_yyyymmdd = [] { return std::string("20250813"); };
    SetWindowTextW(at(Control::CB_yymm), L"202110");
  }
  // The first column of every row of `sql`, joined by ";", read through the
  // window's own connection (it holds the file locked).
  std::string query(const std::string& sql) {
    sqlite3* db = window->connection().handle();
    if (!db) return "closed";
    std::string result;
    try {
      for (const efi::test_support::Row& row : efi::test_support::query_rows(db, sql)) {
        if (!result.empty()) result += ";";
        result += row.at(0);
      }
    } catch (const std::runtime_error& error) {
      return std::string("error: ") + error.what();
    }
    return result;
  }

  void fill_every_row() {
    set_text(Control::E_EN, sample("EN_202110.txt"));
    set_text(Control::E_FN, sample("FN_202110.txt"));
    set_text(Control::E_EG, sample("EG_202110.txt"));
    set_text(Control::E_FG, sample("FG_202110.txt"));
    set_text(Control::E_ETC, L"C:\\厚労省\\tp20211101-01_05.xlsx");
    set_text(Control::E_Y, sample("y_20250813.csv"));
  }

  ScratchFolder folder_;
  DatabaseFolder database_{folder_};
  SampleConverter converter_;
};

TEST_F(RunTest, WholeRunLoadsEverySourceDerivesAndEndsWithTheCompletionBox) {
  fill_every_row();
  click(Control::B_OK);
  ASSERT_EQ(ui.boxes.size(), 1u) << platform::utf8_from_wide(ui.boxes[0].text);
  EXPECT_EQ(ui.boxes[0].text, completion_text);
  EXPECT_EQ(ui.boxes[0].caption, completion_caption);
  EXPECT_EQ(ui.boxes[0].flags, 64u);
  EXPECT_EQ(query("select count(*) from En where yymm = '202110' and yymmkbn = '0'"), "18");
  EXPECT_EQ(query("select count(*) from Fn where yymm = '202110' and yymmkbn = '0'"), "30");
  EXPECT_EQ(query("select count(*) from Eg where yymm = '202110' and yymmkbn = '0'"), "15");
  EXPECT_EQ(query("select count(*) from Fg where yymm = '202110' and yymmkbn = '0'"), "24");
  EXPECT_EQ(query("select count(*) from kyak where ymd = '20211101'"), "14");
  EXPECT_EQ(query("select count(*) from yak where ymd = '20250813'"), "35");
  EXPECT_EQ(query("select count(*) from EFn where yymm = '202110' and yymmkbn = '0'"), "15");
  EXPECT_EQ(query("select count(*) from EFg where yymm = '202110' and yymmkbn = '0'"), "8");
  // The status panel is cleared; the bar keeps the Y step's last position.
  EXPECT_EQ(status_text(), L"\t\t");
  EXPECT_EQ(progress_maximum(), 35);
  EXPECT_EQ(progress_position(), 35);
  // The temporary CSV is gone again.
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / L"vornexport.csv"));
}

// The window and efload are one engine: the same six files give the same
// rows, table by table, both converting the workbook with the default
// converter and keying the Y list by today's date.
TEST_F(RunTest, RowsEqualThoseEfloadStoresForTheSameInputs) {
  std::unique_ptr<workbook::Converter> converter = workbook::make_default_converter();
  const std::string temp_csv = window->environment().temp_csv_path;
  window->environment() = import::default_environment(*converter);
  window->environment().temp_csv_path = temp_csv;
  fill_every_row();
  set_text(Control::E_ETC, sample("tp20211101-01_05.xlsx"));
  click(Control::B_OK);
  ASSERT_EQ(ui.boxes.size(), 1u) << platform::utf8_from_wide(ui.boxes[0].text);
  ASSERT_EQ(ui.boxes[0].text, completion_text);
  window.reset();  // closes the connection and its exclusive lock

  const std::string window_db = platform::utf8_from_wide(folder_.file(L"vorn.sqlite3"));
  const std::string efload_db = platform::utf8_from_wide(folder_.file(L"efload.sqlite3"));
  db::apply_schema(efload_db);
  const auto file = [](const char* name) { return platform::utf8_from_wide(sample(name)); };
  const efi::test_support::ProcessResult efload = efi::test_support::run_efload(
      {"run", "--yymm", "202110", "--db", efload_db, "--en", file("EN_202110.txt"), "--fn",
       file("FN_202110.txt"), "--eg", file("EG_202110.txt"), "--fg", file("FG_202110.txt"), "--etc",
       file("tp20211101-01_05.xlsx"), "--y", file("y_20250813.csv")},
      folder_.path());
  ASSERT_EQ(efload.exit_code, 0) << efload.out << efload.err;

  const efi::test_support::DatabaseContents from_window = efi::test_support::database_contents(window_db);
  const efi::test_support::DatabaseContents from_efload = efi::test_support::database_contents(efload_db);
  ASSERT_EQ(from_window.size(), 8u);
  for (const auto& [table, rows] : from_efload) {
    EXPECT_FALSE(rows.empty()) << "table " << table << " is empty";
    EXPECT_EQ(from_window.at(table), rows) << "table " << table << " differs";
  }
}

// The bar's messages, counted by a subclass of the bar.
struct BarMessages {
  int ranges = 0;     // PBM_SETRANGE32
  int positions = 0;  // PBM_SETPOS
};
LRESULT CALLBACK count_bar_messages(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                    DWORD_PTR data) {
  auto* counts = reinterpret_cast<BarMessages*>(data);
  if (message == PBM_SETRANGE32) ++counts->ranges;
  if (message == PBM_SETPOS) ++counts->positions;
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

// The run sets the bar's maximum and position for every line; the bar is
// sent the range once and a position only when its filled part moves by a
// pixel, and still ends exactly where the run left it.
TEST_F(RunTest, LargeLoadSendsTheBarFewMessagesAndEndsExact) {
  constexpr int lines = 100000;
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += "131234567\t" + std::to_string(1000000 + i);
    for (int field = 2; field < 25; ++field) text += "\t" + std::to_string(field);
    text += "\r\n";
  }
  const std::wstring path = folder_.file(L"EN_large.txt");
  std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
  set_text(Control::E_EN, path);

  HWND bar = at(Control::ProgressBar1);
  RECT client;
  GetClientRect(bar, &client);
  BarMessages counts;
  SetWindowSubclass(bar, count_bar_messages, 1, reinterpret_cast<DWORD_PTR>(&counts));
  click(Control::B_OK);
  RemoveWindowSubclass(bar, count_bar_messages, 1);

  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, completion_text);
  EXPECT_EQ(query("select count(*) from En where yymm = '202110'"), std::to_string(lines));
  EXPECT_EQ(counts.ranges, 1);
  // At most one position per pixel of the bar, and the ends; at least one
  // per few pixels, so the bar is seen to move.
  EXPECT_LE(counts.positions, client.right + 3);
  EXPECT_GE(counts.positions, client.right / 4);
  EXPECT_EQ(progress_maximum(), lines - 1);
  EXPECT_EQ(progress_position(), 0);  // back to 0 after the step
}

TEST_F(RunTest, FailingStepShowsItsPlainBoxAndTheRunGoesOn) {
  set_text(Control::E_EN, folder_.file(L"no-such-file.txt"));
  set_text(Control::E_FN, sample("FN_202110.txt"));
  std::wstring status_during_box;
  ui.on_box = [&](const BoxCall&) {
    if (status_during_box.empty()) status_during_box = status_text();
  };
  click(Control::B_OK);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, L"ENファイル取り込みエラー");
  EXPECT_EQ(ui.boxes[0].caption, L"test_app");
  EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_OK));
  EXPECT_EQ(status_during_box, L"\t\tEファイル(入院)　　");
  EXPECT_EQ(ui.boxes[1].text, completion_text);
  EXPECT_EQ(query("select count(*) from En"), "0");
  EXPECT_EQ(query("select count(*) from Fn"), "30");
}

TEST_F(RunTest, FailureOutsideTheStepsGoesToTheGeneralErrorBoxAndStopsTheRun) {
  set_text(Control::E_Y, L"C:\\bad|name.csv");
  click(Control::B_OK);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, L"パスに無効な文字が含まれています.");
  EXPECT_EQ(ui.boxes[0].caption, L"test_app");
  EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_ICONERROR | MB_OK));
  // The window is still usable for the next run.
  set_text(Control::E_Y, L"");
  click(Control::B_OK);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, completion_text);
}

TEST_F(RunTest, RedPanelSkipsItsFileUntilSwitchedOnAgain) {
  set_text(Control::E_FG, sample("FG_202110.txt"));
  double_click(Control::P_FG);
  click(Control::B_OK);
  EXPECT_EQ(query("select count(*) from Fg"), "0");
  double_click(Control::P_FG);
  click(Control::B_OK);
  EXPECT_EQ(query("select count(*) from Fg where yymm = '202110' and yymmkbn = '0'"), "24");
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, completion_text);
}

TEST_F(RunTest, PatternChosenInTheHiddenGroupIsUsedByTheNextRun) {
  window->show(SW_SHOWNOACTIVATE);
  set_text(Control::E_EN, sample("EN_202110.txt"));
  double_click(Control::P_yymm);
  click(Control::RB2);
  double_click(Control::P_yymm);
  click(Control::B_OK);
  EXPECT_EQ(query("select distinct yymmkbn from En"), "1");
  EXPECT_EQ(query("select count(*) from En where yymm = '202110'"), "18");
}

TEST_F(RunTest, TypedYearMonthIsUsedUnchecked) {
  set_text(Control::E_EN, sample("EN_202110.txt"));
  SetWindowTextW(at(Control::CB_yymm), L"2021年10月");
  click(Control::B_OK);
  EXPECT_EQ(query("select distinct yymm from En"), "2021年10月");
}

TEST_F(RunTest, PressDuringARunIsIgnoredAndACloseWaitsForTheRun) {
  set_text(Control::E_EN, folder_.file(L"missing.txt"));
  set_text(Control::E_FN, sample("FN_202110.txt"));
  HWND main = window->hwnd();
  bool alive_after_close = false;
  std::size_t boxes_after_press = 0;
  ui.on_box = [&](const BoxCall& box) {
    if (box.text != L"ENファイル取り込みエラー") return;
    click(Control::B_OK);  // a second run would show its own boxes here
    boxes_after_press = ui.boxes.size();
    SendMessageW(main, WM_CLOSE, 0, 0);
    click(Control::B_close);
    alive_after_close = IsWindow(main) && window->is_running();
    // Rows typed now do not join the run under way.
    set_text(Control::E_EG, sample("EG_202110.txt"));
  };
  click(Control::B_OK);
  EXPECT_EQ(boxes_after_press, 1u);
  EXPECT_TRUE(alive_after_close);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, completion_text);
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(window->hwnd(), nullptr);
}

// An action taken while the run processes its pending messages: posted to a
// message-only window of this thread, which the run's pump dispatches to.
class ActionInTheRun {
 public:
  explicit ActionInTheRun(std::function<void()> action) : action_(std::move(action)) {
    receiver_ = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    SetWindowSubclass(receiver_, on_message, 1, reinterpret_cast<DWORD_PTR>(this));
    PostMessageW(receiver_, WM_APP, 0, 0);
  }
  ~ActionInTheRun() { DestroyWindow(receiver_); }
  ActionInTheRun(const ActionInTheRun&) = delete;
  ActionInTheRun& operator=(const ActionInTheRun&) = delete;

 private:
  static LRESULT CALLBACK on_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                     DWORD_PTR self) {
    if (message == WM_APP) {
      reinterpret_cast<ActionInTheRun*>(self)->action_();
      return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, on_message, 1);
    return DefSubclassProc(hwnd, message, wparam, lparam);
  }

  std::function<void()> action_;
  HWND receiver_ = nullptr;
};

// The operator changes the year-month, the pattern, a row's path and a row's
// switch while the first file loads: every row of that run carries the keys
// and comes from the files that held when 実行 was pressed, and the changes
// stay in the window for the next run.
TEST_F(RunTest, ChangesMadeDuringARunWaitForTheNextRun) {
  window->show(SW_SHOWNOACTIVATE);
  double_click(Control::P_yymm);  // the pattern group shown; pattern 1 selected
  set_text(Control::E_EN, sample("EN_202110.txt"));
  set_text(Control::E_FN, sample("FN_202110.txt"));
  set_text(Control::E_Y, sample("y_20250813.csv"));  // the drug list the derivation matches
  bool changed_during_the_run = false;
  ActionInTheRun change([&] {
    changed_during_the_run = window->is_running();
    SetWindowTextW(at(Control::CB_yymm), L"202109");
    click(Control::RB2);
    set_text(Control::E_FN, sample("FG_202110.txt"));  // 24 lines, not FN's 30
    set_text(Control::E_EG, sample("EG_202110.txt"));  // a row that was empty
    double_click(Control::P_EN);                       // the row under way switched off
  });
  click(Control::B_OK);
  ASSERT_TRUE(changed_during_the_run);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, completion_text);
  const auto keys_and_rows = [this](const char* table) {
    return query(std::string("select yymm || ' ' || yymmkbn || ' ' || count(*) from ") + table +
                 " group by yymm, yymmkbn order by yymm");
  };
  EXPECT_EQ(keys_and_rows("En"), "202110 0 18");
  EXPECT_EQ(keys_and_rows("Fn"), "202110 0 30");
  EXPECT_EQ(keys_and_rows("Eg"), "");
  EXPECT_EQ(keys_and_rows("EFn"), "202110 0 15");

  // The window kept the changes; the next run takes them.
  EXPECT_EQ(text(Control::CB_yymm), L"202109");
  EXPECT_TRUE(checked(Control::RB2));
  EXPECT_EQ(colour(Control::P_EN), red);
  click(Control::B_OK);
  EXPECT_EQ(keys_and_rows("En"), "202110 0 18");
  EXPECT_EQ(keys_and_rows("Fn"), "202109 1 24;202110 0 30");
  EXPECT_EQ(keys_and_rows("Eg"), "202109 1 15");
}

TEST_F(RunTest, RealBoxesShowTheStepMessageAndTheCompletion) {
  window.reset();
  ui.today = {2021, 11, 15};
  UiSeams seams = ui.seams();
  seams.message_box = real_message_box;
  window = std::make_unique<MainWindow>(GetModuleHandleW(nullptr), seams, WindowOptions{false});
  window->show(SW_SHOWNOACTIVATE);
  set_text(Control::E_EN, folder_.file(L"missing.txt"));
  DialogAnswerer answerer(IDOK);
  click(Control::B_OK);
  const auto& seen = answerer.seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].caption, L"test_app");
  EXPECT_EQ(seen[0].text, L"ENファイル取り込みエラー");
  EXPECT_EQ(seen[1].caption, completion_caption);
  EXPECT_EQ(seen[1].text, completion_text);
}

}  // namespace
}  // namespace efi::app::testing
