// The ANSI decode table on Linux: code page 932 through iconv's "CP932", made
// to decode exactly as MultiByteToWideChar(932) does on Windows, so both builds
// store the same text. What Windows (Wine 8) gives, and what is built here:
//
// - 00..7F are themselves (5C stays U+005C, 7E stays U+007E).
// - 80 is U+0080; A0 is U+F8F0; FD, FE, FF are U+F8F1, U+F8F2, U+F8F3 (iconv
//   rejects these five bytes, so they are set by hand).
// - A1..DF are the half-width katakana U+FF61..U+FF9F.
// - 81..9F and E0..FC are lead bytes. A lead byte followed by any byte but NUL
//   forms one character with it: the character of the pair when the code page
//   has one, else U+30FB; both bytes are used up either way, even when the
//   second is a CR, LF or space (so "81 0A" swallows the line feed).
// - A lead byte followed by NUL, or at the very end of the text, is U+30FB on
//   its own; the NUL then stands for itself.
//
// The table was checked against a dump of every single byte and every lead/
// trail pair from MultiByteToWideChar(932) under Wine: no difference.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/ansi_table.h"

namespace efi::platform::detail {
namespace {

constexpr std::uint32_t replacement = 0x30FB;  // what Windows gives for bytes that form no character

bool is_lead_932(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The one code point iconv makes of `bytes`, or -1 when they are not exactly one character.
long convert_one(iconv_t cd, const unsigned char* bytes, std::size_t size) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
  std::size_t in_left = size;
  std::uint32_t out[4];
  char* o = reinterpret_cast<char*>(out);
  std::size_t out_left = sizeof out;
  if (iconv(cd, &in, &in_left, &o, &out_left) == static_cast<std::size_t>(-1) || in_left != 0) return -1;
  if (sizeof out - out_left != 4) return -1;
  return static_cast<long>(out[0]);
}

}  // namespace

void fill_ansi_table(AnsiTable& table) {
  iconv_t cd = iconv_open("UTF-32LE", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error(std::string("preparing the CP932 decoder: iconv_open failed: ") +
                             std::strerror(errno));
  }
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned char byte = static_cast<unsigned char>(b);
    long cp = is_lead_932(b) ? -1 : convert_one(cd, &byte, 1);
    if (cp < 0) {
      switch (b) {
        case 0x80: cp = 0x0080; break;
        case 0xA0: cp = 0xF8F0; break;
        case 0xFD: cp = 0xF8F1; break;
        case 0xFE: cp = 0xF8F2; break;
        case 0xFF: cp = 0xF8F3; break;
        default: cp = replacement;
      }
    }
    table.single[b] = pack_utf8(static_cast<std::uint32_t>(cp));
  }
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!is_lead_932(lead)) continue;
    add_lead_row(table, static_cast<unsigned char>(lead));
    for (unsigned trail = 1; trail < 256; ++trail) {  // trail 0 stays 0: the NUL does not join
      const unsigned char pair[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
      const long cp = convert_one(cd, pair, 2);
      pair_entry(table, pair[0], pair[1]) = pack_utf8(cp < 0 ? replacement : static_cast<std::uint32_t>(cp));
    }
  }
  iconv_close(cd);
}

}  // namespace efi::platform::detail
