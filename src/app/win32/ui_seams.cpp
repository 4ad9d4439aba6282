#include "app/win32/ui_seams.h"

#include <commdlg.h>

#include <vector>

namespace efi::app {

int real_message_box(HWND owner, std::wstring text, std::wstring caption, UINT flags) {
  return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

bool real_open_file(HWND owner, FileDialog& dialog, std::wstring& path) {
  // "label|pattern" becomes the double-NUL list the dialog wants.
  std::wstring filter = dialog.filter;
  for (wchar_t& c : filter) {
    if (c == L'|') c = L'\0';
  }
  filter.push_back(L'\0');
  filter.push_back(L'\0');

  std::vector<wchar_t> buffer(32768, L'\0');  // room for long paths
  dialog.file_name.copy(buffer.data(), buffer.size() - 1);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  // Neither the file nor its folder has to exist; the current directory is
  // allowed to follow the chosen folder.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (!GetOpenFileNameW(&ofn)) return false;
  path = buffer.data();
  return true;
}

platform::LocalDate real_today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay};
}

UiSeams default_seams() { return {real_message_box, real_open_file, real_today}; }

}  // namespace efi::app
