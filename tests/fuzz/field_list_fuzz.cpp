// Arbitrary bytes as one line for the field splitter, split at tabs and at
// commas. Every field up to count() must be readable and the next index must
// throw FieldIndexError. A line without the quote character must come back
// whole when its fields are joined by the delimiter (up to its first NUL).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "import/field_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  efi::import::FieldList fields;
  for (const char delimiter : {efi::import::FieldList::tab, efi::import::FieldList::comma}) {
    fields.split(line, delimiter);
    std::string joined;
    for (std::size_t i = 0; i < fields.count(); ++i) {
      if (i != 0) joined += delimiter;
      joined += fields.at(i);
    }
    try {
      (void)fields.at(fields.count());
      std::abort();  // an index past the last field must fail
    } catch (const efi::import::FieldIndexError& error) {
      if (error.index() != fields.count() || error.count() != fields.count()) std::abort();
    }
    const std::string_view text = line.substr(0, line.find('\0'));
    if (text.find('"') == std::string_view::npos && joined != text) std::abort();
  }
  return 0;
}
