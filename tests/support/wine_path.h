// Paths the build knows as Unix paths (the source tree, the build folder),
// as a test running under Wine must name them: Wine shows the Unix root as
// drive Z:. Natively they stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace efi::test_support {

inline std::string native_path(std::string_view build_path) {
#ifdef _WIN32
  if (!build_path.empty() && build_path.front() == '/') return "Z:" + std::string(build_path);
#endif
  return std::string(build_path);
}

// A file of the source tree, e.g. source_path("samples/EN_202110.txt").
inline std::string source_path(std::string_view relative) {
  return native_path(EFI_SOURCE_DIR) + "/" + std::string(relative);
}

}  // namespace efi::test_support
