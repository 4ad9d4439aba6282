// ConvertExcelFile: Excel driven through late-bound IDispatch calls. Every
// member is looked up by name right before it is invoked; no type library.
#include "workbook/win32/excel_automation.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <new>
#include <string_view>
#include <utility>

#include "platform/system_error.h"
#include "platform/text.h"
#include "workbook/xlsx_reader.h"

namespace efi::workbook {
namespace {

constexpr wchar_t kProgId[] = L"Excel.Application";
constexpr DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;  // 5
constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;        // 3

// A path or name for Excel, in UTF-16.
std::wstring wide(std::string_view text) {
  try {
    return platform::wide_from_utf8(text);
  } catch (const platform::DecodeError&) {
    throw ConversionError("converting a path for Excel: the text is not valid UTF-8");
  }
}

// Excel's own texts (error descriptions, member names), as they come.
std::string utf8(const wchar_t* text, std::size_t size) {
  if (text == nullptr) return {};
  return platform::utf8_from_wide(std::wstring_view(text, size), platform::OnInvalid::replace);
}

std::string utf8(BSTR text) { return text ? utf8(text, SysStringLen(text)) : std::string(); }

std::string hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

// The system's text for a failure code, without its closing full stop; the
// code itself where the system has no text.
std::string system_message(HRESULT hr) {
  std::string text = platform::system_message(hr);
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text.empty() ? "failure code " + hex(hr) : text;
}

// One interface reference, released with the object. Move-only.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }

  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Receives a new reference from a call; any reference held is released first.
  T** put() {
    reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;  // the reference held, or null
};

// A BSTR copy of a UTF-8 text, freed with the object.
class Bstr {
 public:
  explicit Bstr(std::string_view text) {
    std::wstring w = wide(text);
    b_ = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    if (b_ == nullptr) throw std::bad_alloc();
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }

 private:
  BSTR b_ = nullptr;  // the allocated string
};

// The strings of an EXCEPINFO, freed however the call ends.
struct ExcepInfo {
  EXCEPINFO info{};
  ExcepInfo() = default;
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;
  ~ExcepInfo() {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
};

// Throws a ConversionError "what: why" for a failed call. For an exception
// that Excel reported, `excep` carries its description and origin.
void throw_if_failed(HRESULT hr, const std::string& what, ExcepInfo* excep = nullptr) {
  if (SUCCEEDED(hr)) return;
  if (hr == DISP_E_EXCEPTION && excep != nullptr) {
    EXCEPINFO& e = excep->info;
    if (e.pfnDeferredFillIn != nullptr) e.pfnDeferredFillIn(&e);
    HRESULT code = e.scode != 0 ? e.scode : static_cast<HRESULT>(e.wCode);
    std::string description = utf8(e.bstrDescription);
    std::string message = what + ": " + (description.empty() ? "Excel reported an exception" : description);
    message += " (source: \"" + utf8(e.bstrSource) + "\", code " + hex(code);
    if (e.bstrHelpFile != nullptr)
      message += ", help: \"" + utf8(e.bstrHelpFile) + "\" " + std::to_string(e.dwHelpContext);
    message += ")";
    throw ConversionError(message);
  }
  throw ConversionError(what + ": failure code " + hex(hr));
}

// Looks `name` up on `object` and invokes it with `args` (in IDispatch order:
// the last positional argument first). A property put passes its value as
// the named argument DISPID_PROPERTYPUT. Returns the object that a call
// answering one gives, else null.
ComPtr<IDispatch> call(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* args, UINT arg_count,
                       bool want_result, const std::string& what) {
  std::string member = utf8(name, wcslen(name));
  DISPID id = 0;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, GetThreadLocale(), &id);
  if (hr == DISP_E_UNKNOWNNAME)
    throw ConversionError("メソッド '" + member + "' はオートメーション オブジェクトでサポートしていません");
  throw_if_failed(hr, what + ": looking up '" + member + "'");

  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{args, nullptr, arg_count, 0};
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  ExcepInfo excep;
  VARIANT result;
  VariantInit(&result);
  hr = object->Invoke(id, GUID_NULL, 0, kind, &params, want_result ? &result : nullptr, &excep.info, nullptr);
  throw_if_failed(hr, what + " ('" + member + "')", &excep);
  ComPtr<IDispatch> answer;
  if (want_result) {
    if (result.vt == VT_DISPATCH && result.pdispVal != nullptr) {
      *answer.put() = result.pdispVal;  // the reference moves from the VARIANT to `answer`
    } else {
      VariantClear(&result);
      throw ConversionError(what + ": '" + member + "' gave no object");
    }
  }
  return answer;
}

VARIANT bool_arg(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT bstr_arg(const Bstr& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text.get();  // still owned by `text`
  return v;
}

void put_bool(IDispatch* object, const wchar_t* name, bool value, const std::string& what) {
  VARIANT arg = bool_arg(value);
  call(object, name, DISPATCH_PROPERTYPUT, &arg, 1, false, what);
}

ComPtr<IDispatch> get_object(IDispatch* object, const wchar_t* name, const std::string& what) {
  return call(object, name, kPropertyGet, nullptr, 0, true, what);
}

// Balances a successful CoInitialize when the conversion ends.
class ComApartment {
 public:
  ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialized_) CoUninitialize();
  }

 private:
  bool initialized_;  // CoInitialize succeeded (S_OK or S_FALSE), so it needs its CoUninitialize
};

ComPtr<IDispatch> create_excel() {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(kProgId, &clsid);
  const std::string suffix = ", ProgID: \"Excel.Application\"";
  if (hr == CO_E_CLASSSTRING) throw ExcelNotRegistered(system_message(hr) + suffix);
  if (FAILED(hr)) throw ConversionError(system_message(hr) + suffix);
  ComPtr<IDispatch> app;
  hr = CoCreateInstance(clsid, nullptr, kClassContext, IID_IDispatch, reinterpret_cast<void**>(app.put()));
  if (FAILED(hr)) throw ConversionError(system_message(hr) + suffix);
  if (!app) throw ConversionError("starting Excel: no object" + suffix);
  return app;
}

void quit(IDispatch* app) { call(app, L"Quit", DISPATCH_METHOD, nullptr, 0, false, "closing Excel"); }

// Steps 3 to 7 on a running Excel; every reference taken here is released
// before returning.
void open_and_save(IDispatch* app, const std::string& excel_file, const std::string& out_file, int format) {
  put_bool(app, L"DisplayAlerts", false, "switching off Excel's alerts");
  put_bool(app, L"Visible", false, "hiding Excel");
  {
    ComPtr<IDispatch> workbooks = get_object(app, L"Workbooks", "opening the workbook");
    Bstr file(excel_file);
    VARIANT args[3] = {bool_arg(true), bool_arg(false), bstr_arg(file)};  // ReadOnly, UpdateLinks, FileName
    call(workbooks.get(), L"Open", DISPATCH_METHOD, args, 3, false,
         "opening the workbook \"" + excel_file + "\"");
  }
  {
    ComPtr<IDispatch> workbook = get_object(app, L"ActiveWorkbook", "saving the CSV file");
    Bstr file(out_file);
    std::int32_t file_format = format;
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_I4 | VT_BYREF;  // FileFormat, by reference to the 32-bit value
    args[0].plVal = reinterpret_cast<LONG*>(&file_format);
    args[1] = bstr_arg(file);  // Filename
    call(workbook.get(), L"SaveAs", DISPATCH_METHOD, args, 2, false,
         "saving the CSV file \"" + out_file + "\"");
  }
  {
    ComPtr<IDispatch> workbook = get_object(app, L"ActiveWorkbook", "marking the workbook saved");
    put_bool(workbook.get(), L"Saved", true, "marking the workbook saved");
  }
}

}  // namespace

void ConvertExcelFile(const std::string& excel_file, const std::string& out_file, int format) {
  ComApartment apartment;  // declared first: uninitialised after every reference is gone
  ComPtr<IDispatch> app = create_excel();
  try {
    open_and_save(app.get(), excel_file, out_file, format);
  } catch (...) {
    try {
      quit(app.get());
    } catch (...) {
      // the first failure is the one reported
    }
    throw;
  }
  quit(app.get());
}

void ExcelOrBuiltinConverter::convert(const std::string& excel_file, const std::string& out_file,
                                      int format) {
  try {
    ConvertExcelFile(excel_file, out_file, format);
  } catch (const ExcelNotRegistered&) {
    XlsxReader().convert(excel_file, out_file, format);
  }
}

}  // namespace efi::workbook
