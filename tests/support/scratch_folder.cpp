#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace efi::test_support {
namespace {

long process_id() {
#ifdef _WIN32
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

// fopen by UTF-8 name: this C runtime's narrow names are in the ANSI code
// page on Windows, so the name goes as UTF-16 there.
std::FILE* open(const std::string& path_utf8, const char* mode) {
#ifdef _WIN32
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path_of(path_utf8).c_str(), wide_mode.c_str());
#else
  return std::fopen(path_utf8.c_str(), mode);
#endif
}

}  // namespace

std::filesystem::path path_of(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string read_file(const std::string& path_utf8) {
  std::string bytes;
  if (std::FILE* f = open(path_utf8, "rb")) {
    char block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.append(block, n);
    std::fclose(f);
  }
  return bytes;
}

bool write_file(const std::string& path_utf8, std::string_view bytes) {
  std::FILE* f = open(path_utf8, "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

std::vector<std::string> names_in(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(utf8_of(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

ScratchFolder::ScratchFolder(std::string_view prefix) {
  static std::atomic<int> serial{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(prefix);
  if (info != nullptr) name += std::string("-") + info->test_suite_name() + "-" + info->name();
  name += "-" + std::to_string(process_id()) + "-" + std::to_string(++serial);
  for (char& c : name) {
    if (c == '/') c = '_';  // parameterised tests are named "Suite/Test/0"
  }
  folder_ = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(folder_);
  std::filesystem::create_directories(folder_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ScratchFolder::path(std::string_view name) const { return utf8_of(folder_ / path_of(name)); }

std::string ScratchFolder::file(std::string_view name, std::string_view bytes) const {
  const std::string p = path(name);
  if (!write_file(p, bytes)) throw std::runtime_error("test: cannot write " + p);
  return p;
}

}  // namespace efi::test_support
