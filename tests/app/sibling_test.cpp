// The check for the master-settings program when the window is shown:
// against a stand-in process that owns a TF_Brenmoor window and counts the
// WM_CLOSE messages it gets. In-process through the seam, and with
// EFImport.exe itself as a process answering its real box.

#include "app_fixture.h"

namespace efi::app::testing {
namespace {

const std::wstring question = L"マスタ設定が実行中です、\r\n閉じて続行しますか？";

// A started process, ended and closed with the object.
class Process {
 public:
  Process(const std::wstring& exe, const std::wstring& folder = {}) {
    STARTUPINFOW startup{sizeof startup};
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info_)) {
      info_ = {};
    }
  }
  ~Process() {
    if (!info_.hProcess) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
  bool started() const { return info_.hProcess != nullptr; }
  DWORD id() const { return info_.dwProcessId; }
  // The exit code, or STILL_ACTIVE when it did not end within the guard time.
  DWORD wait() const {
    WaitForSingleObject(info_.hProcess, 30000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  void wait_idle() const { WaitForInputIdle(info_.hProcess, 30000); }

 private:
  PROCESS_INFORMATION info_{};
};

struct Search {
  DWORD process;
  const wchar_t* window_class;
  HWND found;
};
BOOL CALLBACK match(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  wchar_t name[64];
  GetClassNameW(hwnd, name, 64);
  if (owner == search->process && std::wstring(name) == search->window_class && IsWindowVisible(hwnd)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// A visible top-level window of `window_class` owned by `process`, waited for.
HWND wait_for_window(DWORD process, const wchar_t* window_class) {
  for (int i = 0; i < 600; ++i) {
    Search search{process, window_class, nullptr};
    EnumWindows(match, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(50);
  }
  return nullptr;
}

// Ends the stand-in and returns how many WM_CLOSE it received.
DWORD closes_received(const Process& stub) {
  HWND window = FindWindowW(L"TF_Brenmoor", nullptr);
  if (!window) return 1000;
  PostMessageW(window, WM_APP, 0, 0);
  return stub.wait();
}

TEST_F(AppTest, NoSiblingMeansNoQuestion) {
  ASSERT_EQ(FindWindowW(L"TF_Brenmoor", nullptr), nullptr);
  make_window();
  window->show(SW_SHOWNOACTIVATE);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(IsWindowVisible(window->hwnd()));
}

TEST_F(AppTest, SiblingAnsweredOkGetsOneCloseAndTheWindowOpens) {
  Process stub(windows_path(EFI_STUB_EXE));
  ASSERT_TRUE(stub.started());
  stub.wait_idle();
  make_window();
  ui.box_answers = {IDOK};
  window->show(SW_SHOWNOACTIVATE);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, question);
  EXPECT_EQ(ui.boxes[0].caption, L"EFファイル取り込み");
  EXPECT_EQ(ui.boxes[0].flags, 0x21u);
  ASSERT_NE(window->hwnd(), nullptr);
  EXPECT_TRUE(IsWindowVisible(window->hwnd()));
  EXPECT_EQ(closes_received(stub), 1u);
}

TEST_F(AppTest, SiblingAnsweredAnythingButOkClosesTheWindow) {
  for (int answer : {IDCANCEL, 0}) {
    SCOPED_TRACE(answer);
    Process stub(windows_path(EFI_STUB_EXE));
    ASSERT_TRUE(stub.started());
    stub.wait_idle();
    make_window();
    ui.box_answers = {answer};
    window->show(SW_SHOWNOACTIVATE);
    EXPECT_EQ(window->hwnd(), nullptr);
    EXPECT_EQ(closes_received(stub), 0u);
    window.reset();
    ui.boxes.clear();
  }
}

// EFImport.exe copied into a folder of its own, started as the operator would.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = folder_.file(L"EFImport.exe");
    std::filesystem::copy_file(std::filesystem::path(windows_path(EFI_APP_EXE)), exe_);
  }
  ScratchFolder folder_;
  std::wstring exe_;
};

struct RealBox {
  HWND hwnd;
  std::wstring caption, text;
};
RealBox read_box(HWND box) {
  wchar_t text[256] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 256);
  return {box, window_text(box), text};
}

TEST_F(ProgramTest, OkClosesTheSiblingOnceAndOpensTheWindow) {
  Process stub(windows_path(EFI_STUB_EXE));
  ASSERT_TRUE(stub.started());
  stub.wait_idle();
  Process program(exe_, folder_.path().wstring());
  ASSERT_TRUE(program.started());
  HWND box = wait_for_window(program.id(), L"#32770");
  ASSERT_NE(box, nullptr);
  RealBox seen = read_box(box);
  EXPECT_EQ(seen.caption, L"EFファイル取り込み");
  EXPECT_EQ(seen.text, question);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  HWND main = wait_for_window(program.id(), L"TF_EF");
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(window_text(main), L"EFファイル取り込み");
  EXPECT_EQ(closes_received(stub), 1u);
  // The engine library was written beside the program.
  EXPECT_EQ(read_all(folder_.file(L"sqlite3.dll")) == read_all(windows_path(EFI_ENGINE_DLL)), true);
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.wait(), 0u);
}

TEST_F(ProgramTest, CancelEndsTheProgramWithoutClosingTheSibling) {
  Process stub(windows_path(EFI_STUB_EXE));
  ASSERT_TRUE(stub.started());
  stub.wait_idle();
  Process program(exe_, folder_.path().wstring());
  ASSERT_TRUE(program.started());
  HWND box = wait_for_window(program.id(), L"#32770");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(read_box(box).text, question);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(program.wait(), 0u);
  EXPECT_EQ(closes_received(stub), 0u);
}

}  // namespace
}  // namespace efi::app::testing
