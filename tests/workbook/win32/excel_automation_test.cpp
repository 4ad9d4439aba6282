// Excel automation against fake_excel.dll, registered per user as
// "Excel.Application" for each test: the exact calls of a conversion, the
// clean-up after every failure, and the choice of converter.
#include "workbook/win32/excel_automation.h"

#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <sstream>
#include <utility>
#include <vector>

#include "fake_excel/fake_excel.h"
#include "workbook/xlsx_reader.h"
#include "workbook_test_support.h"

namespace efi::workbook {
namespace {

using test::exists;
using test::read_bytes;

std::wstring wide(const std::string& s) { return test::from_utf8(s).wstring(); }

// A path of the build (a Unix path under Wine) as Windows sees it.
std::wstring windows_path(const std::string& build_path) {
  std::string path = efi::test_support::native_path(build_path);
  for (char& c : path)
    if (c == '/') c = '\\';
  return wide(path);
}

void set_value(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
  RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
}

// Wine looks classes up in HKEY_CLASSES_ROOT only (its machine-wide
// Software\Classes), Windows in the user's Software\Classes as well.
const std::pair<HKEY, const wchar_t*> kRoots[] = {{HKEY_CURRENT_USER, L"Software\\Classes\\"},
                                                  {HKEY_LOCAL_MACHINE, L"Software\\Classes\\"}};

// Registers `server` as the in-process server of "Excel.Application": per
// user, and machine-wide where the per-user entry is not seen (Wine).
void register_excel(const std::wstring& server) {
  for (const auto& [root, prefix] : kRoots) {
    std::wstring base = prefix;
    set_value(root, (base + L"Excel.Application").c_str(), nullptr, L"Excel.Application");
    set_value(root, (base + L"Excel.Application\\CLSID").c_str(), nullptr, FAKE_EXCEL_CLSID_TEXT);
    std::wstring inproc = base + L"CLSID\\" FAKE_EXCEL_CLSID_TEXT L"\\InprocServer32";
    set_value(root, inproc.c_str(), nullptr, server);
    set_value(root, inproc.c_str(), L"ThreadingModel", L"Apartment");
    CLSID clsid;
    if (SUCCEEDED(CLSIDFromProgID(L"Excel.Application", &clsid))) return;
  }
}

void unregister_excel() {
  for (const auto& [root, prefix] : kRoots) {
    RegDeleteTreeW(root, (std::wstring(prefix) + L"Excel.Application").c_str());
    RegDeleteTreeW(root, (std::wstring(prefix) + L"CLSID\\" FAKE_EXCEL_CLSID_TEXT).c_str());
  }
}

std::string hex(unsigned long v) {
  char b[16];
  std::snprintf(b, sizeof b, "%lX", v);
  return b;
}

// The log lines fake_excel writes for one lookup and one call.
std::string names(const std::string& member) {
  return "names " + member + " riid=IID_NULL count=1 lcid=" + hex(GetThreadLocale());
}
std::string invoke(const std::string& member, int kind, const std::string& args, bool put, bool result) {
  return "invoke " + member + " kind=" + std::to_string(kind) + " riid=IID_NULL lcid=0 args=" + args +
         " named=" + (put ? "DISPID_PROPERTYPUT" : "none") + " result=" + (result ? "yes" : "no") +
         " excepinfo=yes argerr=no";
}

// The nine calls of a conversion, each after its lookup, in order.
std::vector<std::string> nine_calls(const std::string& excel_file, const std::string& out_file) {
  return {
      names("Application.DisplayAlerts"),
      invoke("Application.DisplayAlerts", 4, "VT_BOOL:0", true, false),
      names("Application.Visible"),
      invoke("Application.Visible", 4, "VT_BOOL:0", true, false),
      names("Application.Workbooks"),
      invoke("Application.Workbooks", 3, "none", false, true),
      names("Workbooks.Open"),
      invoke("Workbooks.Open", 1, "VT_BOOL:-1 | VT_BOOL:0 | VT_BSTR:" + excel_file, false, false),
      names("Application.ActiveWorkbook"),
      invoke("Application.ActiveWorkbook", 3, "none", false, true),
      names("Workbook.SaveAs"),
      invoke("Workbook.SaveAs", 1, "VT_I4|VT_BYREF:62 | VT_BSTR:" + out_file, false, false),
      names("Application.ActiveWorkbook"),
      invoke("Application.ActiveWorkbook", 3, "none", false, true),
      names("Workbook.Saved"),
      invoke("Workbook.Saved", 4, "VT_BOOL:-1", true, false),
      names("Application.Quit"),
      invoke("Application.Quit", 1, "none", false, false),
  };
}

class ExcelAutomationTest : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    // Loaded here as well, so the counters outlive the conversion's CoUninitialize.
    module_ = LoadLibraryW(windows_path(FAKE_EXCEL_DLL).c_str());
    ASSERT_NE(module_, nullptr) << "fake_excel.dll did not load";
    live_objects_ = reinterpret_cast<long (*)()>(
        reinterpret_cast<void*>(GetProcAddress(module_, "FakeExcelLiveObjects")));
    ASSERT_NE(live_objects_, nullptr);
    wchar_t server[MAX_PATH];
    GetModuleFileNameW(module_, server, MAX_PATH);
    server_ = server;
    log_ = path("calls.log");
    SetEnvironmentVariableW(FAKE_EXCEL_LOG, wide(log_).c_str());
    unregister_excel();
  }
  void TearDown() override {
    unregister_excel();
    for (const wchar_t* name :
         {FAKE_EXCEL_LOG, FAKE_EXCEL_FAIL_OPEN, FAKE_EXCEL_FAIL_SAVEAS, FAKE_EXCEL_UNKNOWN})
      SetEnvironmentVariableW(name, nullptr);
    if (module_) FreeLibrary(module_);
    ScratchDir::TearDown();
  }

  std::vector<std::string> calls() const {
    std::vector<std::string> lines;
    std::istringstream in(read_bytes(log_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  HMODULE module_ = nullptr;
  long (*live_objects_)() = nullptr;  // fake_excel's count of objects not released
  std::wstring server_;               // the DLL's full path
  std::string log_;                   // where fake_excel logs
};

TEST_F(ExcelAutomationTest, MakesTheNineCallsInOrder) {
  register_excel(server_);
  const std::string workbook = "C:\\data\\tp20211101-01_05.xlsx";
  const std::string out = path("vornexport.csv");
  ConvertExcelFile(workbook, out, xlCSVUTF8);
  EXPECT_EQ(calls(), nine_calls(workbook, out));
  EXPECT_EQ(read_bytes(out), FAKE_EXCEL_CSV);
  EXPECT_EQ(live_objects_(), 0) << "references leaked";

  // the program's choice takes Excel where it is registered
  std::filesystem::remove(test::from_utf8(out));
  std::filesystem::remove(test::from_utf8(log_));
  make_default_converter()->convert(workbook, out, xlCSVUTF8);
  EXPECT_EQ(calls(), nine_calls(workbook, out));
  EXPECT_EQ(read_bytes(out), FAKE_EXCEL_CSV);
  EXPECT_EQ(live_objects_(), 0);
}

struct FailureCase {
  const wchar_t* variable;        // environment switch of fake_excel
  const wchar_t* value;           // its value
  std::size_t calls_before_quit;  // log lines up to and including the failing one
  std::string message;            // the error's text; %E = workbook, %O = output
};

std::string expand(std::string text, const std::string& workbook, const std::string& out) {
  for (auto [key, value] : {std::pair{"%E", workbook}, std::pair{"%O", out}})
    if (auto at = text.find(key); at != std::string::npos) text.replace(at, 2, value);
  return text;
}

TEST_F(ExcelAutomationTest, QuitsAndReleasesEverythingAfterAFailure) {
  const std::string code = " (source: \"" FAKE_EXCEL_SOURCE "\", code 0x800A03EC)";
  const FailureCase cases[] = {
      {FAKE_EXCEL_FAIL_OPEN, L"1", 8, "opening the workbook \"%E\" ('Open'): " FAKE_EXCEL_OPEN_ERROR + code},
      {FAKE_EXCEL_FAIL_SAVEAS, L"1", 12,
       "saving the CSV file \"%O\" ('SaveAs'): " FAKE_EXCEL_SAVEAS_ERROR + code},
      {FAKE_EXCEL_UNKNOWN, L"Open", 7,
       "メソッド 'Open' はオートメーション オブジェクトでサポートしていません"},
      {FAKE_EXCEL_UNKNOWN, L"Visible", 3,
       "メソッド 'Visible' はオートメーション オブジェクトでサポートしていません"},
  };
  register_excel(server_);
  const std::string workbook = "C:\\data\\missing.xlsx";
  const std::string out = path("vornexport.csv");
  for (const auto& c : cases) {
    SCOPED_TRACE(test::utf8(c.variable) + "=" + test::utf8(c.value));
    std::filesystem::remove(test::from_utf8(log_));
    SetEnvironmentVariableW(c.variable, c.value);
    try {
      ConvertExcelFile(workbook, out, xlCSVUTF8);
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& e) {
      EXPECT_EQ(std::string(e.what()), expand(c.message, workbook, out));
    }
    SetEnvironmentVariableW(c.variable, nullptr);
    std::vector<std::string> expected = nine_calls(workbook, out);
    expected.erase(expected.begin() + static_cast<long>(c.calls_before_quit), expected.end() - 2);
    EXPECT_EQ(calls(), expected);
    EXPECT_FALSE(exists(out));
    EXPECT_EQ(live_objects_(), 0) << "references leaked";
  }
}

// The system's text for a code, trimmed as the conversion trims it.
std::string system_text(HRESULT hr) {
  wchar_t* buffer = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  while (n > 0 && (buffer[n - 1] <= L' ' || buffer[n - 1] == L'.')) --n;
  std::string text = n > 0 ? test::utf8(std::wstring(buffer, n)) : "";
  if (buffer) LocalFree(buffer);
  return text.empty() ? "failure code 0x" + hex(static_cast<unsigned long>(hr))
                      : text;  // Wine has no text for some codes
}

TEST_F(ExcelAutomationTest, FallsBackToTheReaderOnlyWhereExcelIsNotRegistered) {
  const std::string workbook = test::fixture("sheets.xlsx");
  const std::string out = path("vornexport.csv");
  try {
    ConvertExcelFile(workbook, out, xlCSVUTF8);
    ADD_FAILURE() << "no error";
  } catch (const ExcelNotRegistered& e) {
    EXPECT_EQ(std::string(e.what()), system_text(CO_E_CLASSSTRING) + ", ProgID: \"Excel.Application\"");
  }
  make_default_converter()->convert(workbook, out, xlCSVUTF8);
  EXPECT_EQ(read_bytes(out),
            "\xEF\xBB\xBF"
            "active,sheet\r\n2,3\r\n");
  std::filesystem::remove(test::from_utf8(out));

  // registered, but its server cannot be loaded: a failure, not a fallback
  register_excel(server_ + L".missing");
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt == 0 ? "ConvertExcelFile" : "default converter");
    try {
      if (attempt == 0)
        ConvertExcelFile(workbook, out, xlCSVUTF8);
      else
        make_default_converter()->convert(workbook, out, xlCSVUTF8);
      ADD_FAILURE() << "no error";
    } catch (const ExcelNotRegistered& e) {
      ADD_FAILURE() << "taken as not registered: " << e.what();
    } catch (const ConversionError& e) {
      std::string text = e.what();
      const std::string suffix = ", ProgID: \"Excel.Application\"";
      ASSERT_GT(text.size(), suffix.size());
      EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
    }
    EXPECT_FALSE(exists(out));
  }
  EXPECT_TRUE(calls().empty()) << "fake_excel was called";
}

}  // namespace
}  // namespace efi::workbook
