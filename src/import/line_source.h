// The line list: a text file cut into lines, read in blocks.
//
// Opening runs a first pass over the whole file that counts the lines and, for
// UTF-8 and UTF-16 files, validates every byte strictly, so a bad file fails
// before its first row is stored. Lines are then handed out one at a time,
// decoded to UTF-8 block by block: memory stays bounded by the block size and
// the longest line, whatever the size of the file.
//
// Nothing keeps another program from writing to the file between the passes
// on POSIX (Windows opens it sharing reading only). So the second pass must
// read the bytes and the lines the first one counted, and after its last line
// the file must still be the one that was opened (size, times of last write
// and change, device and inode); anything else fails the load as a file that
// changed while it was read, so no copy still in progress loads half old and
// half new.
//
// Line cutting: CR LF, a lone CR and a lone LF each end one line; LF CR ends
// two. A break at the very end adds no empty line, every further break adds
// one; an empty text has no lines. NUL and 0x1A stay inside their line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "import/failure.h"
#include "platform/files.h"
#include "platform/text.h"

namespace efi::import {

// The file could not be opened or decoded, or changed while it was read: an
// open_file, read_file or changed_file failure.
class ReadError : public FailureError {
 public:
  using FailureError::FailureError;
  const std::string& path() const { return failure().file; }
  std::uint64_t line_number() const { return failure().line; }  // 1-based; 0 when not tied to a line
};

class LineSource {
 public:
  static constexpr std::size_t default_block_size = std::size_t{256} << 10;  // bytes read at a time

  // Opens `path_utf8` and runs the first pass. Throws ReadError.
  explicit LineSource(const std::string& path_utf8, std::size_t block_size = default_block_size);
  ~LineSource();
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  std::size_t line_count() const { return line_count_; }
  platform::Encoding encoding() const { return encoding_; }

  // The next line, as UTF-8, valid until the next call. False after the last;
  // throws ReadError instead when the file changed since it was opened.
  bool next(std::string_view& line_out);

  // 1-based number of the line last returned by next().
  std::uint64_t line_number() const { return line_number_; }
  const std::string& path() const { return path_; }

 private:
  struct Impl;
  void check_unchanged_at_end();  // throws ReadError

  std::unique_ptr<Impl> impl_;
  std::string path_;
  platform::Encoding encoding_ = platform::Encoding::ansi;
  std::size_t line_count_ = 0;
  std::uint64_t line_number_ = 0;
};

// A test seam: called with the path once the first pass is over and before
// the second begins, where another program could write to the file. Empty in
// normal use; set it only while no file is being opened.
void set_between_passes_hook(std::function<void(const std::string& path_utf8)> hook);

}  // namespace efi::import
