// Byte-order marks, strict UTF-8 and UTF-16, and the table-driven ANSI decoder.
//
// The ANSI decoder never calls the platform converter per block: the converter
// fills a table once (ansi_table.h), and the loop below copies runs of ASCII
// eight bytes at a time and looks every other byte up. Strict decoders append
// everything valid before a bad sequence, then throw, so a caller can still
// tell which line the bad bytes are on.
#include "platform/text.h"

#include <bit>
#include <cstring>

#include "platform/ansi_table.h"

namespace efi::platform {

static_assert(std::endian::native == std::endian::little, "packed UTF-8 entries assume little-endian stores");

namespace detail {

std::uint32_t pack_utf8(std::uint32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0xFFFF) cp = 0x30FB;
  if (cp < 0x80) return (1u << 24) | cp;
  if (cp < 0x800) return (2u << 24) | (0xC0 | (cp >> 6)) | ((0x80 | (cp & 0x3F)) << 8);
  return (3u << 24) | (0xE0 | (cp >> 12)) | ((0x80 | ((cp >> 6) & 0x3F)) << 8) | ((0x80 | (cp & 0x3F)) << 16);
}

const AnsiTable& ansi_table() {
  static const AnsiTable table = [] {
    AnsiTable t;
    fill_ansi_table(t);
    return t;
  }();
  return table;
}

}  // namespace detail

namespace {

constexpr std::uint64_t high_bits = 0x8080808080808080ull;

// Appends UTF-8 of one code point (already known to be valid).
void put_utf8(char*& dst, std::uint32_t cp) {
  if (cp < 0x80) {
    *dst++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *dst++ = static_cast<char>(0xC0 | (cp >> 6));
    *dst++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *dst++ = static_cast<char>(0xE0 | (cp >> 12));
    *dst++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *dst++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *dst++ = static_cast<char>(0xF0 | (cp >> 18));
    *dst++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *dst++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *dst++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void put_packed(char*& dst, std::uint32_t entry) {
  std::memcpy(dst, &entry, 4);  // the fourth byte is scratch, overwritten by the next store
  dst += entry >> 24;
}

// Length of the valid UTF-8 sequence at p (1 to 4); 0 when the bytes there are
// no valid sequence; -1 when the `avail` bytes are a valid start but too few.
int utf8_step(const unsigned char* p, std::size_t avail) {
  const unsigned b0 = p[0];
  if (b0 < 0x80) return 1;
  int len;
  unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 == 0xE0) {
    len = 3, lo = 0xA0;  // no overlong three-byte forms
  } else if (b0 == 0xED) {
    len = 3, hi = 0x9F;  // no encoded surrogates
  } else if (b0 >= 0xE1 && b0 <= 0xEF) {
    len = 3;
  } else if (b0 == 0xF0) {
    len = 4, lo = 0x90;  // no overlong four-byte forms
  } else if (b0 >= 0xF1 && b0 <= 0xF3) {
    len = 4;
  } else if (b0 == 0xF4) {
    len = 4, hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;  // continuation byte, C0, C1, F5..FF
  }
  if (avail < 2) return -1;
  if (p[1] < lo || p[1] > hi) return 0;
  for (int i = 2; i < len; ++i) {
    if (static_cast<std::size_t>(i) >= avail) return -1;
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return len;
}

std::string offset_text(const char* what, std::uint64_t offset) {
  return std::string(what) + " at byte offset " + std::to_string(offset);
}

[[noreturn]] void throw_bad_utf8(std::uint64_t offset) {
  throw DecodeError(offset_text("invalid UTF-8", offset), offset);
}

[[noreturn]] void throw_unpaired(std::uint64_t offset) {
  throw DecodeError(offset_text("unpaired surrogate in UTF-16", offset), offset);
}

// Validates p[0, n) and copies it to `dst`, advancing it. Returns how many
// bytes were consumed: fewer than n only when the tail is the valid start of a
// sequence cut off by the end of the block. Throws at the first invalid
// sequence after copying what came before it.
std::size_t copy_utf8(const unsigned char* p, std::size_t n, std::uint64_t base, char*& dst) {
  std::size_t i = 0;
  while (i < n) {
    if (n - i >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      if ((w & high_bits) == 0) {
        i += 8;
        continue;
      }
    }
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    const int len = utf8_step(p + i, n - i);
    if (len > 0) {
      i += static_cast<std::size_t>(len);
      continue;
    }
    if (i != 0) std::memcpy(dst, p, i);
    dst += i;
    if (len < 0) return i;
    throw_bad_utf8(base + i);
  }
  if (n != 0) std::memcpy(dst, p, n);  // an empty block may have no data pointer at all
  dst += n;
  return n;
}

// Decodes UTF-16 p[0, n) to UTF-8 at `dst`, advancing it. Returns the bytes
// consumed: the tail left over is an odd byte or a high surrogate whose
// partner lies beyond the block.
std::size_t copy_utf16(const unsigned char* p, std::size_t n, bool big_endian, std::uint64_t base,
                       char*& dst) {
  auto unit = [&](std::size_t at) -> std::uint32_t {
    return big_endian ? (p[at] << 8 | p[at + 1]) : (p[at + 1] << 8 | p[at]);
  };
  std::size_t i = 0;
  while (i + 2 <= n) {
    const std::uint32_t u = unit(i);
    if (u < 0xD800 || u > 0xDFFF) {
      put_utf8(dst, u);
      i += 2;
    } else if (u >= 0xDC00) {
      throw_unpaired(base + i);
    } else {
      if (i + 4 > n) break;  // the low half is in the next block
      const std::uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) throw_unpaired(base + i);
      put_utf8(dst, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
      i += 4;
    }
  }
  return i;
}

// Decodes ANSI bytes p[0, n) to `dst`, advancing it (room for 3n + 4 bytes:
// one byte gives at most three bytes of UTF-8, a packed store spills one). A lead byte at the very end is
// left unconsumed unless `is_last` (then it stands alone: U+30FB). Returns the bytes consumed.
std::size_t copy_ansi(const unsigned char* p, std::size_t n, bool is_last, char*& dst) {
  const detail::AnsiTable& t = detail::ansi_table();
  const unsigned char* s = p;
  const unsigned char* const end = p + n;
  while (s < end) {
    if (end - s >= 8) {
      std::uint64_t w;
      std::memcpy(&w, s, 8);
      if ((w & high_bits) == 0) {
        std::memcpy(dst, s, 8);
        dst += 8, s += 8;
        continue;
      }
    }
    const unsigned b = *s;
    if (b < 0x80) {
      *dst++ = static_cast<char>(b);
      ++s;
      continue;
    }
    const unsigned row = t.row[b];
    if (row == 0) {
      put_packed(dst, t.single[b]);
      ++s;
    } else if (s + 1 < end) {
      const std::uint32_t e = t.pairs[(row - 1) * 256u + s[1]];
      if (e != 0) {
        put_packed(dst, e);
        s += 2;
      } else {
        put_packed(dst, t.single[b]);
        ++s;
      }
    } else if (is_last) {
      put_packed(dst, t.single[b]);
      ++s;
    } else {
      break;  // lead byte at the end of the block: decided with the next block
    }
  }
  return static_cast<std::size_t>(s - p);
}

const unsigned char* bytes_of(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

}  // namespace

Bom detect_bom(std::string_view b) {
  if (b.size() >= 3 && b.substr(0, 3) == "\xEF\xBB\xBF") return {Encoding::utf8, 3};
  if (b.size() >= 2 && b.substr(0, 2) == "\xFF\xFE") return {Encoding::utf16le, 2};
  if (b.size() >= 2 && b.substr(0, 2) == "\xFE\xFF") return {Encoding::utf16be, 2};
  return {Encoding::ansi, 0};
}

void validate_utf8(std::string_view bytes) {
  const unsigned char* p = bytes_of(bytes);
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    const int len = utf8_step(p + i, bytes.size() - i);
    if (len <= 0) throw_bad_utf8(i);
    i += static_cast<std::size_t>(len);
  }
}

std::string utf8_from_utf16(std::u16string_view text, OnInvalid on_invalid) {
  std::string out;
  out.resize(text.size() * 3);
  char* dst = out.data();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint32_t u = text[i];
    if (u < 0xD800 || u > 0xDFFF) {
      put_utf8(dst, u);
    } else if (u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      put_utf8(dst, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (on_invalid == OnInvalid::replace) {
      put_utf8(dst, 0xFFFD);
    } else {
      throw_unpaired(i * 2);
    }
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

std::u16string utf16_from_utf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const unsigned char* p = bytes_of(text);
  std::size_t i = 0;
  while (i < text.size()) {
    const int len = utf8_step(p + i, text.size() - i);
    if (len <= 0) throw_bad_utf8(i);
    std::uint32_t cp;
    switch (len) {
      case 1: cp = p[i]; break;
      case 2: cp = (p[i] & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu); break;
      case 3: cp = (p[i] & 0x0Fu) << 12 | (p[i + 1] & 0x3Fu) << 6 | (p[i + 2] & 0x3Fu); break;
      default:
        cp = (p[i] & 0x07u) << 18 | (p[i + 1] & 0x3Fu) << 12 | (p[i + 2] & 0x3Fu) << 6 | (p[i + 3] & 0x3Fu);
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<std::size_t>(len);
  }
  return out;
}

std::string utf8_from_ansi(std::string_view bytes) {
  std::string out(bytes.size() * 3 + 4, '\0');
  char* dst = out.data();
  copy_ansi(bytes_of(bytes), bytes.size(), true, dst);
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

std::size_t ansi_char_length(unsigned char first, unsigned char second) {
  const detail::AnsiTable& t = detail::ansi_table();
  const unsigned row = t.row[first];
  return row != 0 && t.pairs[(row - 1) * 256u + second] != 0 ? 2 : 1;
}

bool is_ansi_lead_byte(unsigned char byte) { return detail::ansi_table().row[byte] != 0; }

Decoder::Decoder(Encoding encoding, std::uint64_t first_offset) : encoding_(encoding), offset_(first_offset) {
  if (encoding_ == Encoding::ansi) detail::ansi_table();  // build the table before the first block
}

void Decoder::decode(std::string_view bytes, bool is_last, std::string& out) {
  const std::size_t old = out.size();
  out.resize(old + max_output(bytes.size()));
  char* dst = out.data() + old;
  try {
    decode_step(bytes, is_last, dst);
  } catch (...) {
    out.resize(static_cast<std::size_t>(dst - out.data()));  // keep the text before the bad bytes
    throw;
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
}

std::size_t Decoder::decode_into(std::string_view bytes, bool is_last, char* out) {
  char* dst = out;
  decode_step(bytes, is_last, dst);
  return static_cast<std::size_t>(dst - out);
}

void Decoder::decode_step(std::string_view bytes, bool is_last, char*& out) {
  const unsigned char* p = bytes_of(bytes);
  std::size_t n = bytes.size();
  const bool big_endian = encoding_ == Encoding::utf16be;

  // Finish a character carried over from the last block, using at most the
  // bytes it can still need (3 for UTF-8 and UTF-16, 1 for ANSI).
  if (!carry_.empty()) {
    const std::size_t held = carry_.size();
    const std::size_t take = std::min<std::size_t>(n, 4 - held);
    std::string joined = carry_;
    joined.append(bytes.substr(0, take));
    const unsigned char* j = bytes_of(joined);
    const std::uint64_t base = offset_ - held;
    std::size_t used;
    switch (encoding_) {
      case Encoding::utf8: {
        const int len = utf8_step(j, joined.size());
        if (len == 0) throw_bad_utf8(base);
        used = len < 0 ? 0 : static_cast<std::size_t>(len);
        if (used) std::memcpy(out, joined.data(), used), out += used;
        break;
      }
      case Encoding::ansi:
        // the lead byte with its successor, or alone when the text ends here
        used = copy_ansi(j, std::min<std::size_t>(joined.size(), 2), is_last && n == 0, out);
        break;
      default:
        used = copy_utf16(j, joined.size(), big_endian, base, out);
        if (used < held) used = 0;  // not even the carried unit completes yet
        break;
    }
    if (used == 0) {
      carry_ = joined;  // the block was too short to finish it
      offset_ += take;
      p += take, n -= take;
    } else {
      const std::size_t from_block = used - held;
      carry_.clear();
      offset_ += from_block;
      p += from_block, n -= from_block;
    }
  }

  if (carry_.empty()) {
    std::size_t used;
    switch (encoding_) {
      case Encoding::utf8: used = copy_utf8(p, n, offset_, out); break;
      case Encoding::ansi: used = copy_ansi(p, n, is_last, out); break;
      default: used = copy_utf16(p, n, big_endian, offset_, out); break;
    }
    carry_.assign(reinterpret_cast<const char*>(p) + used, n - used);
    offset_ += n;
  }

  if (is_last && !carry_.empty()) {
    const std::uint64_t at = offset_ - carry_.size();
    switch (encoding_) {
      case Encoding::utf8: carry_.clear(); throw_bad_utf8(at);
      case Encoding::ansi:
        copy_ansi(bytes_of(carry_), carry_.size(), true, out);
        carry_.clear();
        break;
      default:
        if (carry_.size() % 2 != 0) {
          carry_.clear();
          throw DecodeError("UTF-16 text has an odd number of bytes (a lone byte at byte offset " +
                                std::to_string(at) + ")",
                            at);
        }
        carry_.clear();
        throw_unpaired(at);
    }
  }
}

}  // namespace efi::platform
