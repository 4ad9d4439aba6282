// The operating system's failures as exceptions and texts: "what we were
// doing: what the system says", the system's words in UTF-8.
#pragma once

#include <string>
#include <system_error>

namespace efi::platform {

// The error of the last failed call (errno on POSIX, GetLastError() on
// Windows) as a std::system_error whose what() reads "<what>: <system text>".
std::system_error system_error_from_last(const std::string& what);

// The system's text for an error code (an errno value on POSIX; a Win32
// error or an HRESULT on Windows), trimmed of the trailing line break; empty
// where the system has no text for it.
std::string system_message(long code);

}  // namespace efi::platform
