// A stand-in for Excel's automation object model, just deep enough for the
// conversion: Application (DisplayAlerts, Visible, Workbooks,
// ActiveWorkbook, Quit), Workbooks (Open) and Workbook (SaveAs, Saved).
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "fake_excel.h"

namespace {

std::atomic<long> g_live{0};   // Application, Workbooks and Workbook objects alive
std::atomic<long> g_locks{0};  // IClassFactory::LockServer count

const CLSID kClsid = {0x6F1C2640, 0x5A1B, 0x4C2E, {0x9D, 0x2E, 0x7E, 0x0B, 0x1A, 0x2C, 0x3D, 0x4E}};

std::string utf8(const wchar_t* s, int n = -1) {
  if (s == nullptr) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, s, n, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, s, n, out.data(), size, nullptr, nullptr);
  if (n < 0 && !out.empty()) out.pop_back();  // the terminating null
  return out;
}

std::wstring env(const wchar_t* name) {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return (n > 0 && n < 1024) ? std::wstring(buffer, n) : std::wstring();
}

void log_line(const std::string& line) {
  std::wstring path = env(FAKE_EXCEL_LOG);
  if (path.empty()) return;
  if (FILE* f = _wfopen(path.c_str(), L"ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fclose(f);
  }
}

std::string describe(const VARIANT& v) {
  switch (v.vt) {
    case VT_BOOL: return "VT_BOOL:" + std::to_string(v.boolVal);
    case VT_BSTR: return "VT_BSTR:" + utf8(v.bstrVal, static_cast<int>(SysStringLen(v.bstrVal)));
    case VT_I4: return "VT_I4:" + std::to_string(v.lVal);
    case VT_I4 | VT_BYREF: return "VT_I4|VT_BYREF:" + std::to_string(*v.plVal);
    default: return "vt=" + std::to_string(v.vt);
  }
}

std::string hex(unsigned long v) {
  char b[16];
  std::snprintf(b, sizeof b, "%lX", v);
  return b;
}

void raise(EXCEPINFO* excep, const char* description) {
  if (excep == nullptr) return;
  auto bstr = [](const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
    return SysAllocString(w.c_str());
  };
  *excep = EXCEPINFO{};
  excep->bstrSource = bstr(FAKE_EXCEL_SOURCE);
  excep->bstrDescription = bstr(description);
  excep->scode = static_cast<SCODE>(FAKE_EXCEL_SCODE);
}

// IDispatch without a type library: a table of member names per object.
class Object : public IDispatch {
 public:
  Object(const char* kind, std::vector<std::wstring> members) : kind_(kind), members_(std::move(members)) {
    ++g_live;
  }
  virtual ~Object() { --g_live; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    std::string name = count > 0 ? utf8(names[0]) : std::string();
    log_line("names " + kind_ + "." + name + " riid=" + (riid == IID_NULL ? "IID_NULL" : "other") +
             " count=" + std::to_string(count) + " lcid=" + hex(lcid));
    if (count != 1) return E_INVALIDARG;
    std::wstring unknown = env(FAKE_EXCEL_UNKNOWN);
    for (std::size_t i = 0; i < members_.size(); ++i) {
      if (_wcsicmp(members_[i].c_str(), names[0]) == 0 && unknown != members_[i]) {
        ids[0] = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD kind, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_error) override {
    if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
    std::string args, named;
    for (UINT i = 0; i < params->cArgs; ++i) args += (i ? " | " : "") + describe(params->rgvarg[i]);
    for (UINT i = 0; i < params->cNamedArgs; ++i)
      named += (i ? " | " : "") + (params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT
                                       ? std::string("DISPID_PROPERTYPUT")
                                       : std::to_string(params->rgdispidNamedArgs[i]));
    log_line("invoke " + kind_ + "." + utf8(members_[id - 1].c_str()) + " kind=" + std::to_string(kind) +
             " riid=" + (riid == IID_NULL ? "IID_NULL" : "other") + " lcid=" + hex(lcid) +
             " args=" + (args.empty() ? "none" : args) + " named=" + (named.empty() ? "none" : named) +
             " result=" + (result ? "yes" : "no") + " excepinfo=" + (excep ? "yes" : "no") +
             " argerr=" + (arg_error ? "yes" : "no"));
    if (result) VariantInit(result);
    return call(members_[id - 1], kind, *params, result, excep);
  }

 protected:
  virtual HRESULT call(const std::wstring& member, WORD kind, DISPPARAMS& params, VARIANT* result,
                       EXCEPINFO* excep) = 0;

  static void give(VARIANT* result, IDispatch* object) {
    if (result == nullptr) return;
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    if (object) object->AddRef();
  }

 private:
  std::string kind_;                   // "Application", "Workbooks", "Workbook"
  std::vector<std::wstring> members_;  // DISPID i+1 is members_[i]
  std::atomic<ULONG> refs_{1};         // references held
};

class Workbook : public Object {
 public:
  Workbook() : Object("Workbook", {L"SaveAs", L"Saved"}) {}

 protected:
  HRESULT call(const std::wstring& member, WORD kind, DISPPARAMS& p, VARIANT*, EXCEPINFO* excep) override {
    if (member == L"SaveAs") {
      if (!env(FAKE_EXCEL_FAIL_SAVEAS).empty()) {
        raise(excep, FAKE_EXCEL_SAVEAS_ERROR);
        return DISP_E_EXCEPTION;
      }
      if (p.cArgs < 1 || p.rgvarg[p.cArgs - 1].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
      if (FILE* f = _wfopen(p.rgvarg[p.cArgs - 1].bstrVal, L"wb")) {
        std::fputs(FAKE_EXCEL_CSV, f);
        std::fclose(f);
      }
    }
    return S_OK;
  }
};

class Application : public Object {
 public:
  Application()
      : Object("Application", {L"DisplayAlerts", L"Visible", L"Workbooks", L"ActiveWorkbook", L"Quit"}) {}
  ~Application() override { close(); }
  void opened(Workbook* workbook) {
    close();
    active_ = workbook;
  }

 protected:
  HRESULT call(const std::wstring& member, WORD kind, DISPPARAMS&, VARIANT* result, EXCEPINFO*) override;

 private:
  void close() {
    if (active_) active_->Release();
    active_ = nullptr;
  }
  Workbook* active_ = nullptr;  // the open workbook, one reference held
};

class Workbooks : public Object {
 public:
  explicit Workbooks(Application* app) : Object("Workbooks", {L"Open"}), app_(app) { app_->AddRef(); }
  ~Workbooks() override { app_->Release(); }

 protected:
  HRESULT call(const std::wstring&, WORD, DISPPARAMS&, VARIANT*, EXCEPINFO* excep) override {
    if (!env(FAKE_EXCEL_FAIL_OPEN).empty()) {
      raise(excep, FAKE_EXCEL_OPEN_ERROR);
      return DISP_E_EXCEPTION;
    }
    app_->opened(new Workbook());
    return S_OK;
  }

 private:
  Application* app_;  // the application, one reference held
};

HRESULT Application::call(const std::wstring& member, WORD kind, DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
  if (member == L"Workbooks") {
    auto* books = new Workbooks(this);
    give(result, books);
    books->Release();
  } else if (member == L"ActiveWorkbook") {
    give(result, active_);
  } else if (member == L"Quit") {
    close();
  }
  return S_OK;
}

class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static object
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* app = new Application();
    HRESULT hr = app->QueryInterface(riid, out);
    app->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lock ? ++g_locks : --g_locks;
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

extern "C" {

__declspec(dllexport) long FakeExcelLiveObjects() { return g_live; }

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return (g_live == 0 && g_locks == 0) ? S_OK : S_FALSE; }

// The tests register the class themselves (per user, in their Wine prefix).
HRESULT STDAPICALLTYPE DllRegisterServer() { return S_OK; }
HRESULT STDAPICALLTYPE DllUnregisterServer() { return S_OK; }
}
