// Strict splitting of one line into fields. Unquoted fields and quoted fields
// without a doubled quote are views into the line itself; only a quoted field
// with QQ pairs is copied, into one buffer shared by the whole line, and its
// view is made once the buffer can no longer move. Nothing is allocated per
// field once the vectors have grown to the longest line.
#include "import/field_list.h"

#include <cstring>

namespace efi::import {

FieldIndexError::FieldIndexError(std::size_t index, std::size_t count)
    : std::out_of_range("cannot read field " + std::to_string(index) + ": the line has " +
                        std::to_string(count) + (count == 1 ? " field" : " fields")),
      index_(index),
      count_(count) {}

void FieldList::split(std::string_view line, char d, char q) {
  fields_.clear();
  unquoted_.clear();
  pending_.clear();
  if (line.empty()) return;
  if (const void* nul = std::memchr(line.data(), '\0', line.size())) {
    line = line.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - line.data()));
  }
  const char* const begin = line.data();
  const char* const end = begin + line.size();
  const char* p = begin;
  while (p < end) {
    if (*p == q) {
      // Quoted: up to the next Q not followed by another; QQ stands for Q.
      const char* start = ++p;
      bool copied = false;
      std::size_t offset = 0;
      for (;;) {
        const char* close = static_cast<const char*>(std::memchr(p, q, static_cast<std::size_t>(end - p)));
        if (close == nullptr) close = end;
        if (close + 1 < end && close[1] == q) {  // a pair: keep one Q, go on after both
          if (!copied) copied = true, offset = unquoted_.size();
          unquoted_.append(start, static_cast<std::size_t>(close + 1 - start));
          p = start = close + 2;
          continue;
        }
        if (copied) {
          unquoted_.append(start, static_cast<std::size_t>(close - start));
          pending_.push_back({fields_.size(), offset, unquoted_.size() - offset});
          fields_.emplace_back();
        } else {
          fields_.emplace_back(start, static_cast<std::size_t>(close - start));
        }
        p = close == end ? end : close + 1;
        break;
      }
    } else {
      const char* stop = static_cast<const char*>(std::memchr(p, d, static_cast<std::size_t>(end - p)));
      if (stop == nullptr) stop = end;
      fields_.emplace_back(p, static_cast<std::size_t>(stop - p));
      p = stop;
    }
    if (p < end && *p == d) {
      if (p + 1 == end) fields_.emplace_back(end, 0);  // a delimiter at the end: one more, empty field
      ++p;
    }
    // Any other character here directly follows a closing Q: the next field starts at it.
  }
  for (const Unquoted& u : pending_) {
    fields_[u.field] = std::string_view(unquoted_.data() + u.offset, u.size);
  }
}

std::string_view FieldList::at(std::size_t index) const {
  if (index >= fields_.size()) throw FieldIndexError(index, fields_.size());
  return fields_[index];
}

}  // namespace efi::import
