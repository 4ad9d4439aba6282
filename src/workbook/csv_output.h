// The CSV file being written: buffered, and removed again unless the whole
// file was written and closed without error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace efi::workbook {

class CsvOutput {
 public:
  // Throws ConversionError when the file cannot be created.
  // Creates (or truncates) `path`; the file may grow to `max_bytes`.
  CsvOutput(const std::string& path, std::uint64_t max_bytes);
  CsvOutput(const CsvOutput&) = delete;
  CsvOutput& operator=(const CsvOutput&) = delete;
  ~CsvOutput();  // removes the file unless commit() succeeded

  std::string& buffer() { return buffer_; }  // append here, then call flush_if_full()
  void flush_if_full() {
    if (buffer_.size() >= kFlushAt) flush();
  }
  // Appends one field, in double quotes (inner quotes doubled) when it holds
  // a comma, a double quote, CR or LF.
  void append_field(std::string_view text);
  // Writes what is left and closes; throws ConversionError on any error.
  void commit();

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;  // bytes buffered before a write
  void flush();
  [[noreturn]] void fail(const std::string& what);

  std::string path_;           // the file, for messages and removal
  std::FILE* file_ = nullptr;  // open until commit() or destruction
  std::string buffer_;         // bytes not yet written
  std::uint64_t written_ = 0;  // bytes handed to the file so far
  std::uint64_t max_bytes_;    // size the file may reach
  bool committed_ = false;     // the whole file is on disk
};

}  // namespace efi::workbook
