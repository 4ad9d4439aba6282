// What another program may do to a file between the two passes of the line
// source: append to it, cut it short, put another file in its place, remove
// it, rewrite it in place. Each change is applied through the seam between
// the passes and says whether it took place: on Windows the reader's share
// mode refuses every one of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>

#include "import/line_source.h"
#include "support/scratch_folder.h"

namespace efi::import::testing {

using efi::test_support::path_of;

// Installs `hook` between the passes for the life of the object.
class BetweenPasses {
 public:
  explicit BetweenPasses(std::function<void(const std::string&)> hook) {
    set_between_passes_hook(std::move(hook));
  }
  ~BetweenPasses() { set_between_passes_hook(nullptr); }
  BetweenPasses(const BetweenPasses&) = delete;
  BetweenPasses& operator=(const BetweenPasses&) = delete;
};

// Each returns true when the file was changed, false when the system refused.
namespace change {

inline bool append(const std::string& path, const std::string& bytes) {
  std::ofstream out(path_of(path), std::ios::binary | std::ios::app);
  if (!out.is_open()) return false;
  out << bytes;
  out.close();
  return !out.fail();
}

inline bool cut_to(const std::string& path, std::uintmax_t size) {
  std::error_code error;
  std::filesystem::resize_file(path_of(path), size, error);
  return !error;
}

// Renames `other` over `path`, as a copy tool that writes a temporary file does.
inline bool replace_with(const std::string& path, const std::string& other) {
  std::error_code error;
  std::filesystem::rename(path_of(other), path_of(path), error);
  return !error;
}

inline bool remove(const std::string& path) {
  std::error_code error;
  return std::filesystem::remove(path_of(path), error) && !error;
}

// Writes `bytes` over the start of the file without changing its size, and
// moves its last-write time two seconds on: a second write of the same size
// may otherwise fall within one tick of the file system's clock.
inline bool rewrite_in_place(const std::string& path, const std::string& bytes) {
  {
    std::fstream file(path_of(path), std::ios::binary | std::ios::in | std::ios::out);
    if (!file.is_open()) return false;
    file << bytes;
    if (!file.good()) return false;
  }
  std::error_code error;
  const auto written = std::filesystem::last_write_time(path_of(path), error);
  if (error) return false;
  std::filesystem::last_write_time(path_of(path), written + std::chrono::seconds(2), error);
  return !error;
}

}  // namespace change

}  // namespace efi::import::testing
