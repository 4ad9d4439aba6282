// Facts about the running program that the window shows or uses: its title
// (the executable's file name up to its first dot, the caption of its
// message boxes), its folder, and the year-month list offered at start-up.
#pragma once

#include <array>
#include <string>

#include "platform/files.h"

namespace efi::app {

// "EFImport" for C:\tools\EFImport.exe.
std::wstring application_title();
// The folder of the running executable, with its trailing separator.
std::wstring executable_folder_wide();
// A title from a path: the file name up to its first dot.
std::wstring title_from_path(const std::wstring& path);

// The current month and the five before it, as "yyyymm", newest first.
std::array<std::wstring, 6> year_month_list(const platform::LocalDate& today);

}  // namespace efi::app
