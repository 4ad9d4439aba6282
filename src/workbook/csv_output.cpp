#include "workbook/csv_output.h"

#include <cerrno>
#include <cstring>

#include "workbook/converter.h"
#include "platform/files.h"

namespace efi::workbook {

CsvOutput::CsvOutput(const std::string& path, std::uint64_t max_bytes) : path_(path), max_bytes_(max_bytes) {
  file_ = platform::open_file(path, "wb");
  if (file_ == nullptr) {
    int error = errno;
    throw ConversionError("writing the CSV file \"" + path + "\": " + std::strerror(error));
  }
  buffer_.reserve(64 * 1024);  // grows towards kFlushAt only for large sheets
}

CsvOutput::~CsvOutput() {
  if (committed_) return;
  if (file_ != nullptr) std::fclose(file_);
  platform::delete_file(path_);
}

void CsvOutput::fail(const std::string& what) {
  throw ConversionError("writing the CSV file \"" + path_ + "\": " + what);
}

void CsvOutput::append_field(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    buffer_ += text;
    return;
  }
  buffer_ += '"';
  for (char c : text) {
    if (c == '"') buffer_ += '"';
    buffer_ += c;
  }
  buffer_ += '"';
}

void CsvOutput::flush() {
  if (buffer_.empty()) return;
  written_ += buffer_.size();
  if (written_ > max_bytes_) fail("the CSV would exceed " + std::to_string(max_bytes_) + " bytes");
  if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) fail(std::strerror(errno));
  buffer_.clear();
}

void CsvOutput::commit() {
  flush();
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) fail(std::strerror(errno));
  committed_ = true;
}

}  // namespace efi::workbook
