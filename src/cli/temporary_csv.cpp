#include "cli/temporary_csv.h"

#include <charconv>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/files.h"
#include "platform/process.h"

namespace efi::cli {
namespace {

constexpr std::string_view stem = "vornexport";
constexpr std::string_view extension = ".csv";

// The process id in "vornexport-<pid>.csv"; nothing for other names.
bool process_of(std::string_view name, std::uint64_t& id_out) {
  if (!name.starts_with(stem) || !name.ends_with(extension)) return false;
  name.remove_prefix(stem.size());
  name.remove_suffix(extension.size());
  if (name.size() < 2 || name.front() != '-') return false;
  name.remove_prefix(1);
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), id_out);
  return error == std::errc() && end == name.data() + name.size();
}

}  // namespace

std::string temporary_csv_path(const std::string& folder) {
  return folder + std::string(stem) + "-" + std::to_string(platform::process_id()) + std::string(extension);
}

void remove_stale_temporary_csvs(const std::string& folder) {
  platform::delete_file(folder + std::string(stem) + std::string(extension));
  // A folder that cannot be listed keeps its files: the conversion goes on.
  std::error_code error;
  const std::filesystem::path path(std::u8string(folder.begin(), folder.end()));
  for (std::filesystem::directory_iterator entry(path, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::u8string name8 = entry->path().filename().u8string();
    const std::string name(name8.begin(), name8.end());
    std::uint64_t id = 0;
    if (process_of(name, id) && id != platform::process_id() && !platform::is_process_running(id)) {
      platform::delete_file(folder + name);
    }
  }
}

}  // namespace efi::cli
