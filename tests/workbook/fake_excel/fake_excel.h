// What the tests share with fake_excel.dll: its class id, the environment
// variables that steer it, and the texts of the exceptions it raises.
#pragma once

// {6F1C2640-5A1B-4C2E-9D2E-7E0B1A2C3D4E}
#define FAKE_EXCEL_CLSID_TEXT L"{6F1C2640-5A1B-4C2E-9D2E-7E0B1A2C3D4E}"

#define FAKE_EXCEL_LOG L"FAKE_EXCEL_LOG"                  // file the calls are appended to (UTF-8 lines)
#define FAKE_EXCEL_FAIL_OPEN L"FAKE_EXCEL_FAIL_OPEN"      // set: Workbooks.Open raises an exception
#define FAKE_EXCEL_FAIL_SAVEAS L"FAKE_EXCEL_FAIL_SAVEAS"  // set: Workbook.SaveAs raises an exception
#define FAKE_EXCEL_UNKNOWN L"FAKE_EXCEL_UNKNOWN"          // a member name GetIDsOfNames does not know

#define FAKE_EXCEL_OPEN_ERROR "ファイル 'missing.xlsx' が見つかりません。"
#define FAKE_EXCEL_SAVEAS_ERROR "'vornexport.csv' にアクセスできません。"
#define FAKE_EXCEL_SOURCE "Microsoft Excel"
#define FAKE_EXCEL_SCODE 0x800A03ECL

// The CSV that SaveAs writes.
#define FAKE_EXCEL_CSV \
  "\xEF\xBB\xBF"       \
  "fake,excel\r\n"

extern "C" __declspec(dllexport) long FakeExcelLiveObjects();  // objects not yet released
