#include "app/win32/engine_library.h"

namespace efi::app {

std::wstring system_error_text(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", length);
  LocalFree(buffer);
  while (!text.empty() && text.back() <= L' ') text.pop_back();
  return text;
}

std::wstring write_engine_library(HMODULE module, const std::wstring& target_path) {
  HRSRC resource = FindResourceW(module, engine_library_resource, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!resource) return {};
  HGLOBAL loaded = LoadResource(module, resource);
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  DWORD size = SizeofResource(module, resource);
  if (!bytes) return {};

  return write_whole_file(target_path, bytes, size);
}

bool write_file_call(HANDLE file, const char* bytes, DWORD size, DWORD& written) {
  return WriteFile(file, bytes, size, &written, nullptr) != FALSE;
}

std::wstring write_whole_file(const std::wstring& target_path, const char* bytes, DWORD size,
                              const WriteCall& write) {
  HANDLE file = CreateFileW(target_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    return L"ファイル \"" + target_path + L"\" を作成できません。" + system_error_text(code);
  }
  // Partial writes are continued; a write that takes nothing ends it.
  DWORD offset = 0;
  while (offset < size) {
    DWORD written = 0;
    if (!write(file, bytes + offset, size - offset, written) || written == 0) break;
    offset += written;
  }
  CloseHandle(file);
  if (offset < size) return L"ストリームへの書き込みエラー";
  return {};
}

}  // namespace efi::app
