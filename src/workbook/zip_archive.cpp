#include "workbook/zip_archive.h"

#include <minizip/unzip.h>
#ifdef _WIN32
#include <minizip/iowin32.h>
#endif

#include <cerrno>
#include <cstring>
#include <vector>

#include "workbook/converter.h"
#include "platform/files.h"
#include "platform/text.h"

namespace efi::workbook {
namespace {

constexpr std::size_t kBlock = 64 * 1024;  // bytes inflated per read

// The first bytes say what kind of file it is, before minizip is asked.
enum class Signature { zip, ole, other };

Signature sniff(std::FILE* file) {
  unsigned char head[8] = {};
  std::size_t n = std::fread(head, 1, sizeof head, file);
  if (n >= 4 && head[0] == 'P' && head[1] == 'K' && (head[2] == 3 || head[2] == 5)) return Signature::zip;
  static const unsigned char ole[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (n == 8 && std::memcmp(head, ole, 8) == 0) return Signature::ole;
  return Signature::other;
}

}  // namespace

void ZipArchive::fail(const std::string& what) const {
  throw ConversionError("reading workbook \"" + path_ + "\": " + what);
}

ZipArchive::ZipArchive(const std::string& path, std::uint64_t max_part_bytes)
    : path_(path), max_part_bytes_(max_part_bytes) {
  std::FILE* file = platform::open_file(path, "rb");
  if (file == nullptr) {
    int error = errno;
    fail(error == ENOENT ? std::string("the file does not exist")
                         : "the file cannot be opened (" + std::string(std::strerror(error)) + ")");
  }
  Signature signature = sniff(file);
  std::fclose(file);
  if (signature == Signature::ole) fail("an Excel 97-2003 workbook (.xls) cannot be read, only .xlsx");
  if (signature == Signature::other) fail("the file is not an .xlsx workbook (not a zip archive)");
#ifdef _WIN32
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  const std::wstring wide = platform::wide_from_utf8(path);
  zip_ = unzOpen2_64(wide.c_str(), &functions);
#else
  zip_ = unzOpen64(path.c_str());
#endif
  if (zip_ == nullptr) fail("the zip archive is damaged or truncated");
}

ZipArchive::~ZipArchive() {
  if (zip_ != nullptr) unzClose(zip_);
}

bool ZipArchive::contains(const std::string& part) const {
  return unzLocateFile(zip_, part.c_str(), 2) == UNZ_OK;  // part names ignore case
}

void ZipArchive::read(const std::string& part, const Sink& sink) const {
  if (unzLocateFile(zip_, part.c_str(), 2) != UNZ_OK) fail("the part " + part + " is missing");
  if (unzOpenCurrentFile(zip_) != UNZ_OK) fail("the part " + part + " cannot be read (damaged or encrypted)");
  std::vector<char> block(kBlock);
  std::uint64_t total = 0;
  bool stopped = false;
  for (;;) {
    int n = unzReadCurrentFile(zip_, block.data(), static_cast<unsigned>(block.size()));
    if (n < 0) {
      unzCloseCurrentFile(zip_);
      fail("the part " + part + " is damaged (zip error " + std::to_string(n) + ")");
    }
    total += static_cast<unsigned>(n);
    if (total > max_part_bytes_) {
      unzCloseCurrentFile(zip_);
      fail("the part " + part + " expands beyond " + std::to_string(max_part_bytes_) + " bytes");
    }
    bool keep_on;
    try {
      keep_on = sink(block.data(), static_cast<std::size_t>(n), n == 0);
    } catch (...) {
      unzCloseCurrentFile(zip_);
      throw;
    }
    if (!keep_on) {
      stopped = true;
      break;
    }
    if (n == 0) break;
  }
  int closed = unzCloseCurrentFile(zip_);
  if (!stopped && closed == UNZ_CRCERROR) fail("the part " + part + " is damaged (CRC mismatch)");
}

}  // namespace efi::workbook
