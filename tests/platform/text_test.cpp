// Byte-order marks, strict UTF-8/UTF-16 and the ANSI (932) decoder. The ANSI
// expectations are those of MultiByteToWideChar(932); the same cases run on
// the Linux build (iconv-built table) and the Windows build (the real API).
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace efi::platform {
namespace {

TEST(Text, DetectsOnlyTheThreeMarks) {
  struct Case {
    std::string bytes;
    Encoding encoding;
    std::size_t size;
  };
  const std::vector<Case> cases = {
      {"\xEF\xBB\xBF"
       "abc",
       Encoding::utf8, 3},
      {"\xEF\xBB\xBF", Encoding::utf8, 3},
      {"\xFF\xFE"
       "a",
       Encoding::utf16le, 2},
      {"\xFE\xFF", Encoding::utf16be, 2},
      {std::string("\xFF\xFE\0\0", 4), Encoding::utf16le, 2},  // UTF-32 LE is not recognised: UTF-16 LE
      {std::string("\0\0\xFE\xFF", 4), Encoding::ansi, 0},     // nor UTF-32 BE
      {"\xEF\xBB", Encoding::ansi, 0},
      {"\xBB\xBF", Encoding::ansi, 0},
      {"", Encoding::ansi, 0},
      {"abc", Encoding::ansi, 0},
  };
  for (const Case& c : cases) {
    const Bom bom = detect_bom(c.bytes);
    EXPECT_EQ(bom.encoding, c.encoding) << testing::PrintToString(c.bytes);
    EXPECT_EQ(bom.size, c.size) << testing::PrintToString(c.bytes);
  }
}

TEST(Text, Utf8ValidationRejectsEveryInvalidForm) {
  struct Case {
    std::string bytes;
    std::uint64_t offset;  // of the first bad sequence
  };
  const std::vector<Case> bad = {
      {"\xC0\x80", 0},          // overlong NUL
      {"ab\xC1\xBF", 2},        // overlong two-byte
      {"\xE0\x80\x80", 0},      // overlong three-byte
      {"\xF0\x8F\xBF\xBF", 0},  // overlong four-byte
      {"x\xED\xA0\x80", 1},     // encoded high surrogate
      {"\xED\xBF\xBF", 0},      // encoded low surrogate
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 0},
      {"\x80", 0},  // continuation byte on its own
      {"abc\xFF", 3},
      {"\xFE", 0},
      {"a\xE3\x81", 1},  // truncated at the end
      {"a\xE3\x81"
       "b",
       1},  // truncated in the middle
      {"\xF0\x9F\x98", 0},
      {"\xE3\x81\x82\xE3", 3},
  };
  for (const Case& c : bad) {
    try {
      validate_utf8(c.bytes);
      ADD_FAILURE() << "accepted " << testing::PrintToString(c.bytes);
    } catch (const DecodeError& e) {
      EXPECT_EQ(e.byte_offset(), c.offset) << testing::PrintToString(c.bytes);
      EXPECT_EQ(std::string(e.what()), "invalid UTF-8 at byte offset " + std::to_string(c.offset));
    }
  }
  for (const std::string good : {"", "abc", "\xE3\x81\x82", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF",
                                 "\xED\x9F\xBF", "\xEE\x80\x80", "\xC2\x80", "\xF0\x9F\x98\x80"}) {
    EXPECT_NO_THROW(validate_utf8(good)) << testing::PrintToString(good);
  }
}

TEST(Text, Utf16ConversionsRoundTripAndRejectUnpairedSurrogates) {
  const std::string text = "a\xE3\x81\x82\xF0\x9F\x98\x80\xEF\xBF\xBF";  // a, あ, U+1F600, U+FFFF
  const std::u16string units = utf16_from_utf8(text);
  EXPECT_EQ(units, (std::u16string{u'a', u'\u3042', 0xD83D, 0xDE00, 0xFFFF}));
  EXPECT_EQ(utf8_from_utf16(units), text);

  struct Case {
    std::u16string units;
    std::uint64_t offset;
  };
  const std::vector<Case> bad = {
      {{u'a', 0xD83D}, 2},  // high half at the end
      {{0xDE00, u'a'}, 0},  // low half alone
      {{u'a', u'b', 0xD83D, u'c'}, 4},
  };
  for (const Case& c : bad) {
    try {
      utf8_from_utf16(c.units);
      ADD_FAILURE() << "accepted an unpaired surrogate at " << c.offset;
    } catch (const DecodeError& e) {
      EXPECT_EQ(e.byte_offset(), c.offset);
      EXPECT_EQ(std::string(e.what()),
                "unpaired surrogate in UTF-16 at byte offset " + std::to_string(c.offset));
    }
  }
  try {
    utf16_from_utf8("ok\xED\xA0\x80");
    ADD_FAILURE() << "accepted an encoded surrogate";
  } catch (const DecodeError& e) {
    EXPECT_EQ(std::string(e.what()), "invalid UTF-8 at byte offset 2");
  }
}

#ifdef _WIN32
TEST(Text, WideStringsAreUtf16) {
  EXPECT_EQ(wide_from_utf8("a\xE3\x81\x82"), std::wstring(L"a\u3042"));
  EXPECT_EQ(utf8_from_wide(L"\u65E5\u672C"), "\xE6\x97\xA5\xE6\x9C\xAC");
}
#endif

// Code page 932 as Windows decodes it, without MB_ERR_INVALID_CHARS.
TEST(Text, AnsiDecodesCodePage932AsWindowsDoes) {
  struct Case {
    std::string bytes;
    std::string text;
    const char* what;
  };
  const std::vector<Case> cases = {
      {"\x87\x40", "\u2460", "NEC row 13: circled one"},
      {"\x87\x54", "\u2160", "NEC row 13: Roman numeral one"},
      {"\x87\x82", "\u2116", "NEC row 13: numero sign"},
      {"\x87\x8A", "\u3231", "NEC row 13: parenthesised kabushiki"},
      {"\xED\x40", "\u7E8A", "NEC-selected IBM extension"},
      {"\xFA\x40", "\u2170", "IBM extension: small Roman numeral one"},
      {"\xFA\x5C", "\u7E8A", "IBM extension, same character as ED40"},
      {"\x81\x60", "\uFF5E", "wave dash is the full-width tilde"},
      {"\x81\x7C", "\uFF0D", "minus is the full-width hyphen-minus"},
      {"\x81\x5F", "\uFF3C", "the full-width reverse solidus"},
      {"\xB1", "\uFF71", "half-width katakana"},
      {"\x5C", "\\", "5C stays the backslash"},
      {"\x7E", "~", "7E stays the tilde"},
      {"\x82\xA0\x88\x9F", "\u3042\u4E9C", "hiragana and kanji"},
      {"\x80", "\u0080", "single byte 80"},
      {"\xA0", "\uF8F0", "single byte A0"},
      {"\xFD\xFE\xFF", "\uF8F1\uF8F2\uF8F3", "single bytes FD FE FF"},
      {"\x81\x20"
       "A",
       "\u30FB"
       "A",
       "lead byte and a byte outside the trail range: both become U+30FB"},
      {"\x81\x7F", "\u30FB", "7F is no trail byte either"},
      {"\x81\n"
       "A",
       "\u30FB"
       "A",
       "a line feed after a lead byte is swallowed"},
      {"\x85\x40"
       "A",
       "\u30FB"
       "A",
       "unassigned pair"},
      {"A\x81", "A\u30FB", "lead byte at the very end"},
      {std::string("\x81\0A", 3), std::string("\u30FB\0A", 5), "a NUL after a lead byte stands for itself"},
      {"\x81\x81\x40", "\uFF1D@", "lead pairs are taken from the left"},
      {"\xF0\x40", "\uE000", "user-defined area"},
      {"\xE3\x81\x82", "\u7E3A\u30FB", "UTF-8 bytes read as 932"},
      {"plain ASCII text longer than eight bytes\t\r\n", "plain ASCII text longer than eight bytes\t\r\n",
       "ASCII"},
      {"0123456789\x82\xA0"
       "0123456789",
       "0123456789\u3042"
       "0123456789",
       "ASCII runs around a pair"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8_from_ansi(c.bytes), c.text) << c.what;
  }
  EXPECT_TRUE(is_ansi_lead_byte(0x81));
  EXPECT_TRUE(is_ansi_lead_byte(0xFC));
  EXPECT_FALSE(is_ansi_lead_byte(0xA0));
  EXPECT_FALSE(is_ansi_lead_byte(0xFD));
  EXPECT_EQ(ansi_char_length(0x81, '\n'), 2u);
  EXPECT_EQ(ansi_char_length(0x81, '\0'), 1u);
  EXPECT_EQ(ansi_char_length(0xB1, 0x81), 1u);
}

// Decodes `bytes` fed in pieces of `piece` bytes (and an empty last call).
std::string decode_in_pieces(Encoding encoding, const std::string& bytes, std::size_t piece) {
  Decoder decoder(encoding);
  std::string out;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    decoder.decode(std::string_view(bytes).substr(at, piece), false, out);
  }
  decoder.decode({}, true, out);
  return out;
}

TEST(Text, DecoderCarriesCharactersSplitAcrossBlocks) {
  struct Case {
    Encoding encoding;
    std::string bytes;
    std::string text;
  };
  const std::vector<Case> cases = {
      {Encoding::ansi, std::string("a\x82\xA0\x81\0\xB1\x88\x9F\x81", 9),
       std::string("a\u3042\u30FB\0\uFF71\u4E9C\u30FB", 17)},
      {Encoding::utf8,
       "a\xE3\x81\x82\xF0\x9F\x98\x80"
       "b",
       "a\xE3\x81\x82\xF0\x9F\x98\x80"
       "b"},
      {Encoding::utf16le, std::string("a\0\x42\x30\x3D\xD8\x00\xDE", 8), "a\u3042\xF0\x9F\x98\x80"},
      {Encoding::utf16be, std::string("\0a\x30\x42\xD8\x3D\xDE\x00", 8), "a\u3042\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    for (std::size_t piece = 1; piece <= c.bytes.size(); ++piece) {
      EXPECT_EQ(decode_in_pieces(c.encoding, c.bytes, piece), c.text)
          << "encoding " << static_cast<int>(c.encoding) << ", pieces of " << piece;
    }
    // Two blocks, cut at every point, the second one marked last.
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
      Decoder decoder(c.encoding);
      std::string out;
      decoder.decode(std::string_view(c.bytes).substr(0, cut), false, out);
      decoder.decode(std::string_view(c.bytes).substr(cut), true, out);
      EXPECT_EQ(out, c.text) << "encoding " << static_cast<int>(c.encoding) << ", cut at " << cut;
    }
  }
}

TEST(Text, DecoderReportsOffsetsAcrossBlocksAndKeepsTheTextBefore) {
  struct Case {
    Encoding encoding;
    std::vector<std::string> blocks;  // the last one is fed as the last
    std::string before;               // decoded before the failure
    std::string message;
  };
  const std::vector<Case> cases = {
      {Encoding::utf8,
       {"ab",
        "c\xFF"
        "d"},
       "abc",
       "invalid UTF-8 at byte offset 6"},
      {Encoding::utf8, {"ab\xE3", "\x81", "x"}, "ab", "invalid UTF-8 at byte offset 5"},
      {Encoding::utf8, {"ab\xE3\x81", ""}, "ab", "invalid UTF-8 at byte offset 5"},
      {Encoding::utf16le,
       {std::string("a\0b", 3), ""},
       "a",
       "UTF-16 text has an odd number of bytes (a lone byte at byte offset 5)"},
      {Encoding::utf16le,
       {std::string("a\0\x3D", 3), std::string("\xD8"
                                               "b\0",
                                               3)},
       "a",
       "unpaired surrogate in UTF-16 at byte offset 5"},
      {Encoding::utf16be,
       {std::string("\0a\xD8\x3D", 4), ""},
       "a",
       "unpaired surrogate in UTF-16 at byte offset 5"},
      {Encoding::utf16be,
       {std::string("\0a\xDC\x00", 4), ""},
       "a",
       "unpaired surrogate in UTF-16 at byte offset 5"},
  };
  for (const Case& c : cases) {
    Decoder decoder(c.encoding, 3);  // as if after a three-byte mark
    std::string out;
    try {
      for (std::size_t i = 0; i < c.blocks.size(); ++i)
        decoder.decode(c.blocks[i], i + 1 == c.blocks.size(), out);
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const DecodeError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
      EXPECT_EQ(out, c.before) << c.message;
    }
  }
}

}  // namespace
}  // namespace efi::platform
