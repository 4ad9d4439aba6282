// Reading the parts of a zip archive (an .xlsx file) block by block with
// minizip. Each part is read to its end and its CRC checked; a part that
// expands beyond the limit is refused, so a zip bomb costs bounded time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace efi::workbook {

class ZipArchive {
 public:
  // Opens `path`; throws ConversionError naming the file when it is missing,
  // unreadable, not a zip archive, or damaged beyond reading its directory.
  ZipArchive(const std::string& path, std::uint64_t max_part_bytes);
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;
  ~ZipArchive();

  bool contains(const std::string& part) const;

  // Hands the uncompressed bytes of `part` to `sink` in blocks; the last call
  // has `last` set (and may be empty). A sink that returns false stops the
  // reading. Throws ConversionError when the part is missing or damaged.
  using Sink = std::function<bool(const char* data, std::size_t size, bool last)>;
  void read(const std::string& part, const Sink& sink) const;

  // "reading workbook "<path>": <what>", the prefix of every error.
  [[noreturn]] void fail(const std::string& what) const;

 private:
  std::string path_;              // the archive's file, for messages
  std::uint64_t max_part_bytes_;  // uncompressed bytes one part may yield
  void* zip_ = nullptr;           // minizip's unzFile
};

}  // namespace efi::workbook
