// Writing a file whole or not at all, for outputs people open while they are
// being made (the report page): the bytes go into a new temporary file in the
// same folder, are flushed to disk, and the temporary file is then renamed
// over the target, replacing a file of that name in one step. A failure at
// any point removes the temporary file and leaves the target as it was.
#pragma once

#include <string>
#include <string_view>

namespace efi::platform {

// Throws std::system_error, "what we were doing: what the system said",
// naming the file that failed. Paths are UTF-8.
void replace_file(const std::string& path_utf8, std::string_view bytes);

// The temporary file replace_file writes first: "<path>.<process id>-<n>.part".
std::string temporary_path_for(const std::string& path_utf8, unsigned attempt);

}  // namespace efi::platform
