#include "app/win32/app_info.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"

namespace efi::app {

std::wstring title_from_path(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  return name.substr(0, name.find(L'.'));
}

std::wstring application_title() {
  return title_from_path(platform::wide_from_utf8(platform::executable_path()));
}

std::wstring executable_folder_wide() { return platform::wide_from_utf8(platform::executable_folder()); }

std::array<std::wstring, 6> year_month_list(const platform::LocalDate& today) {
  std::array<std::wstring, 6> list;
  // Calendar months, not 30-day steps: count months from year 0.
  int months = today.year * 12 + (today.month - 1);
  for (int k = 0; k < 6; ++k) {
    int m = months - k;
    wchar_t text[16];
    std::swprintf(text, 16, L"%04d%02d", m / 12, m % 12 + 1);
    list[k] = text;
  }
  return list;
}

}  // namespace efi::app
