// The field list: one line split into fields, addressed by zero-based index.
//
// Strict splitting, the only mode the loader uses: a field ends only at the
// delimiter or at the end of the line, nothing is trimmed. A field that starts
// with the quote character runs to the next quote not directly followed by
// another; inside it a doubled quote stands for one. A quote anywhere else is
// an ordinary character. The line ends at its first NUL, if it has one.
// E and F files split at tabs; the drug lists split as comma text.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace efi::import {

// A field was read by an index the line does not have.
class FieldIndexError : public std::out_of_range {
 public:
  FieldIndexError(std::size_t index, std::size_t count);
  std::size_t index() const { return index_; }  // the index asked for
  std::size_t count() const { return count_; }  // fields the line has

 private:
  std::size_t index_;
  std::size_t count_;
};

class FieldList {
 public:
  static constexpr char tab = '\t';
  static constexpr char comma = ',';

  // Replaces the fields with those of `line`. The fields stay valid until the
  // next split and as long as `line` lives.
  void split(std::string_view line, char delimiter, char quote = '"');

  std::size_t count() const { return fields_.size(); }
  // Throws FieldIndexError when index >= count().
  std::string_view at(std::size_t index) const;

 private:
  struct Unquoted {
    std::size_t field;   // index into fields_
    std::size_t offset;  // where its text starts in unquoted_
    std::size_t size;    // bytes of its text
  };
  std::vector<std::string_view> fields_;  // into the line, or (after the split) into unquoted_
  std::string unquoted_;                  // this line's quoted fields that had QQ pairs, undone, end to end
  std::vector<Unquoted> pending_;         // fields_ entries to point into unquoted_ once it stops growing
};

}  // namespace efi::import
