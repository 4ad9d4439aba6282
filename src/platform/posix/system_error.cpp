// System errors on POSIX: errno and strerror.
#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace efi::platform {

std::system_error system_error_from_last(const std::string& what) {
  return std::system_error(errno, std::generic_category(), what);
}

std::string system_message(long code) { return std::generic_category().message(static_cast<int>(code)); }

}  // namespace efi::platform
