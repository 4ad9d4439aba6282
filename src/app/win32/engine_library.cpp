#include "app/win32/engine_library.h"

#include "platform/system_error.h"
#include "platform/text.h"

namespace efi::app {

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
    const DWORD code = GetLastError();
    return L"ファイル \"" + target_path + L"\" を作成できません。" +
           platform::wide_from_utf8(platform::system_message(code));
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
