// Arbitrary bytes as an E, F or Y file for the line source, read twice: with
// a block size taken from the first byte (1 to 256 bytes, so characters,
// marks and line breaks land across block ends) and with the default block.
// Both readings must fail alike or give the same lines, as many as the first
// pass counted, each valid UTF-8. Any other exception is a crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "import/line_source.h"

namespace {

bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

struct Reading {
  bool failed = false;
  std::vector<std::string> lines;
};

Reading read(const std::string& path, std::size_t block_size) {
  Reading r;
  try {
    efi::import::LineSource source(path, block_size);
    std::string_view line;
    while (source.next(line)) {
      if (!valid_utf8(line)) std::abort();
      r.lines.emplace_back(line);
      if (source.line_number() != r.lines.size()) std::abort();
    }
    if (r.lines.size() != source.line_count()) std::abort();
  } catch (const efi::import::ReadError&) {
    r.failed = true;
    r.lines.clear();
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const std::string path = "/tmp/line_source_fuzz_" + std::to_string(getpid()) + ".txt";
  const std::size_t small_block = std::size_t{data[0]} + 1;
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
  } else {
    std::abort();
  }
  const Reading small = read(path, small_block);
  const Reading whole = read(path, efi::import::LineSource::default_block_size);
  if (small.failed != whole.failed || small.lines != whole.lines) std::abort();
  std::remove(path.c_str());
  return 0;
}
