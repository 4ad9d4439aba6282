// replace_file on Windows: CreateFileW(CREATE_NEW), WriteFile,
// FlushFileBuffers, MoveFileExW(REPLACE_EXISTING | WRITE_THROUGH).
#include "platform/replace_file.h"
#include "platform/system_error.h"

#include <windows.h>

#include <algorithm>

#include "platform/files.h"
#include "platform/text.h"

namespace efi::platform {

std::string temporary_path_for(const std::string& path_utf8, unsigned attempt) {
  return path_utf8 + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".part";
}

void replace_file(const std::string& path_utf8, std::string_view bytes) {
  std::wstring target;
  try {
    target = wide_from_utf8(path_utf8);
  } catch (const DecodeError&) {
    SetLastError(ERROR_INVALID_NAME);
    throw system_error_from_last("cannot write the file '" + path_utf8 + "'");
  }
  std::string temporary;
  std::wstring temporary_wide;
  HANDLE h = INVALID_HANDLE_VALUE;
  // A name of this process; one left by a crashed run of the same id is skipped.
  for (unsigned attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    temporary = temporary_path_for(path_utf8, attempt);
    temporary_wide = wide_from_utf8(temporary);
    // No sharing: nobody reads the file before it is whole.
    h = CreateFileW(temporary_wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) throw system_error_from_last("cannot create the file '" + temporary + "'");

  auto fail = [&](const std::string& what) {
    const std::system_error error = system_error_from_last(what);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    DeleteFileW(temporary_wide.c_str());
    throw error;
  };
  for (std::size_t written = 0; written < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    DWORD n = 0;
    if (!WriteFile(h, bytes.data() + written, chunk, &n, nullptr))
      fail("cannot write the file '" + temporary + "'");
    written += n;
  }
  if (!FlushFileBuffers(h)) fail("cannot flush the file '" + temporary + "'");
  const BOOL closed = CloseHandle(h);
  h = INVALID_HANDLE_VALUE;
  if (!closed) fail("cannot close the file '" + temporary + "'");
  if (!MoveFileExW(temporary_wide.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    fail("cannot rename '" + temporary + "' to '" + path_utf8 + "'");
}

}  // namespace efi::platform
