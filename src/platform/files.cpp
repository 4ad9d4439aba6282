// The parts of the file and clock helpers that are the same on every platform.
#include <cstdio>

#include "platform/files.h"

namespace efi::platform {

std::string executable_folder() {
  const std::string path = executable_path();
  return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string format_yyyymmdd(const LocalDate& date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", date.year, date.month, date.day);
  return text;
}

}  // namespace efi::platform
