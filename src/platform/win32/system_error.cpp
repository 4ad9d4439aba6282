// System errors on Windows: GetLastError() codes and HRESULTs, worded by
// FormatMessageW and handed on in UTF-8.
#include "platform/system_error.h"

#include <windows.h>

#include "platform/text.h"

namespace efi::platform {
namespace {

// The buffer FormatMessageW allocates, freed with the object.
class LocalText {
 public:
  LocalText() = default;
  ~LocalText() {
    if (text_ != nullptr) LocalFree(text_);
  }
  LocalText(const LocalText&) = delete;
  LocalText& operator=(const LocalText&) = delete;
  wchar_t** out() { return &text_; }
  const wchar_t* get() const { return text_; }

 private:
  wchar_t* text_ = nullptr;  // null until FormatMessageW fills it
};

// GetLastError() codes whose message() is what the system says.
class WindowsCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int code) const override {
    std::string text = system_message(static_cast<long>(static_cast<unsigned long>(code)));
    return text.empty() ? "error " + std::to_string(static_cast<unsigned long>(code)) : text;
  }
};

const WindowsCategory& windows_category() {
  static const WindowsCategory category;
  return category;
}

}  // namespace

std::system_error system_error_from_last(const std::string& what) {
  return std::system_error(static_cast<int>(GetLastError()), windows_category(), what);
}

std::string system_message(long code) {
  LocalText text;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(text.out()), 0, nullptr);
  if (n == 0 || text.get() == nullptr) return {};
  std::wstring_view view(text.get(), n);
  while (!view.empty() && view.back() <= L' ') view.remove_suffix(1);  // the trailing CR LF
  try {
    return utf8_from_wide(view);
  } catch (const DecodeError&) {
    return {};  // an unpaired surrogate in the system's own text: say nothing rather than half
  }
}

}  // namespace efi::platform
