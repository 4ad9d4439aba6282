// UTF-8 to UTF-16 and back for Win32 calls: wchar_t is a UTF-16 unit on Windows.
#include "platform/text.h"

namespace efi::platform {

std::wstring wide_from_utf8(std::string_view text) {
  const std::u16string units = utf16_from_utf8(text);
  return std::wstring(units.begin(), units.end());
}

std::string utf8_from_wide(std::wstring_view text, OnInvalid on_invalid) {
  return utf8_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()),
                         on_invalid);
}

}  // namespace efi::platform
