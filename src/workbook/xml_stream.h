// Streaming XML for the workbook parts: expat fed block by block from the
// zip, calling a handler by local element names. Prefixes are dropped rather
// than resolved: the parts use one vocabulary each, so the local names say
// enough, and expat runs faster without namespace processing.
//
// Handlers may throw; the callbacks catch it, stop the parser and the error
// is rethrown from the reader once expat has returned (nothing unwinds
// through expat's C frames). A document type declaration is refused, so no
// entity definitions reach the parser.
#pragma once

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace efi::workbook {

class ZipArchive;

class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  // `name` is the element's local name (without prefix); `attrs` expat's
  // null-ended list of name/value pairs as written ("r", "r:id").
  virtual void start(std::string_view name, const char** attrs) = 0;
  virtual void end(std::string_view name) = 0;
  virtual void text(std::string_view data) {}
};

// The value of the unprefixed attribute `name`, or null.
const char* attribute(const char** attrs, std::string_view name);
// The value of a prefixed attribute with local name `local` (r:id), or null.
const char* namespaced_attribute(const char** attrs, std::string_view local);

// Reads `part` of `zip` through `handler`. Throws ConversionError
// "reading workbook "...": <part>, line N: <what>" for malformed XML and for
// errors raised by the handler.
void parse_part(const ZipArchive& zip, const std::string& part, XmlHandler& handler);

}  // namespace efi::workbook
