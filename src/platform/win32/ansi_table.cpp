// The ANSI decode table on Windows: every single byte and every lead/trail
// pair of the process's ANSI code page through MultiByteToWideChar, once.
// Whatever the converter does with a byte that forms no character (932 gives
// U+30FB) is what the table holds. A code page with characters longer than two
// bytes (the UTF-8 "ANSI" code page) cannot be a table; 932 stands in for it.
#include <windows.h>

#include "platform/ansi_table.h"

namespace efi::platform::detail {
namespace {

// The UTF-16 units MultiByteToWideChar makes of `bytes` (at most 2 asked for).
int convert(UINT code_page, const unsigned char* bytes, int size, wchar_t (&out)[4]) {
  return MultiByteToWideChar(code_page, 0, reinterpret_cast<const char*>(bytes), size, out, 4);
}

}  // namespace

void fill_ansi_table(AnsiTable& table) {
  UINT code_page = GetACP();
  CPINFO info{};
  if (!GetCPInfo(code_page, &info) || info.MaxCharSize > 2) code_page = 932;

  wchar_t out[4];
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned char byte = static_cast<unsigned char>(b);
    const int n = convert(code_page, &byte, 1, out);
    table.single[b] = pack_utf8(n >= 1 ? out[0] : 0x30FB);
  }
  for (unsigned lead = 0x80; lead < 256; ++lead) {
    if (!IsDBCSLeadByteEx(code_page, static_cast<BYTE>(lead))) continue;
    add_lead_row(table, static_cast<unsigned char>(lead));
    for (unsigned trail = 0; trail < 256; ++trail) {
      const unsigned char pair[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
      // One unit: the two bytes joined. Two units: the lead byte stood alone
      // and the second byte is a character of its own; the entry stays 0.
      if (convert(code_page, pair, 2, out) == 1) pair_entry(table, pair[0], pair[1]) = pack_utf8(out[0]);
    }
  }
}

}  // namespace efi::platform::detail
