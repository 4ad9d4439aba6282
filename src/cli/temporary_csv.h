// The temporary CSV that efload's drug list step converts the workbook into.
//
// The window converts into one fixed name beside itself; two efload runs
// started at once (a script, a scheduled job) would convert into and delete
// each other's file there, so efload names its file after its process:
// "vornexport-<pid>.csv" in its own folder. A run that ends removes its own
// file whatever happened; one that was killed cannot, so each conversion
// first removes the files of processes that no longer run, and the window's
// fixed-name file, which a crashed window leaves.
#pragma once

#include <string>

namespace efi::cli {

// "<folder>vornexport-<pid>.csv" for this process.
std::string temporary_csv_path(const std::string& folder);

// Removes "<folder>vornexport.csv" and every "<folder>vornexport-<pid>.csv"
// whose process no longer runs; the files of running processes stay.
void remove_stale_temporary_csvs(const std::string& folder);

}  // namespace efi::cli
