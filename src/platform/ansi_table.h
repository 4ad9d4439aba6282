// The decode table of the ANSI code page, shared by the decoder (text.cpp) and
// the two platform parts that fill it (posix/ and win32/ansi_table.cpp).
//
// A table entry is one character already encoded as UTF-8 and packed into a
// 32-bit word: the UTF-8 bytes in bits 0 to 23 (first byte lowest), the number
// of bytes in bits 24 to 31. The hot loop stores all four bytes at once and
// advances by the length, so writing a character is one store.
#pragma once

#include <cstdint>
#include <vector>

namespace efi::platform::detail {

struct AnsiTable {
  std::uint32_t single[256] = {};    // each byte decoded on its own (a lead byte alone: U+30FB)
  std::uint8_t row[256] = {};        // 0: not a lead byte; else 1 + its row in `pairs`
  std::vector<std::uint32_t> pairs;  // 256 entries per lead byte, by trail byte; 0: the two do not join
};

// Packs one code point as UTF-8 (surrogates and values above U+FFFF become
// U+30FB: no single ANSI character maps there).
std::uint32_t pack_utf8(std::uint32_t code_point);

// The table, built on first use from the platform's converter.
const AnsiTable& ansi_table();

// Fills `table` from the platform's converter; defined in posix/ and win32/.
void fill_ansi_table(AnsiTable& table);

inline void add_lead_row(AnsiTable& table, unsigned char lead) {
  table.row[lead] = static_cast<std::uint8_t>(table.pairs.size() / 256 + 1);
  table.pairs.resize(table.pairs.size() + 256, 0);
}

inline std::uint32_t& pair_entry(AnsiTable& table, unsigned char lead, unsigned char trail) {
  return table.pairs[(table.row[lead] - 1) * 256u + trail];
}

}  // namespace efi::platform::detail
