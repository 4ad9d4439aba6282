// Text decoding: byte-order marks, strict UTF-8 and UTF-16, and the lenient
// ANSI code page (932) used for files without a mark.
//
// Inside the program all text is UTF-8 in std::string; UTF-16 appears only at
// the Win32 boundary. The ANSI decoder gives the same text on both builds: on
// Windows it is built from MultiByteToWideChar with the process's ANSI code
// page, on Linux from iconv's CP932, and bytes that form no character become
// U+30FB, the character Windows substitutes for code page 932.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace efi::platform {

enum class Encoding {
  ansi,     // no byte-order mark: the ANSI code page (932), lenient
  utf8,     // EF BB BF
  utf16le,  // FF FE
  utf16be,  // FE FF
};

struct Bom {
  Encoding encoding;  // what the first bytes announce
  std::size_t size;   // bytes of the mark itself (0 for ansi), not part of the text
};

// Looks at the first bytes only; UTF-8, then UTF-16 LE, then UTF-16 BE.
Bom detect_bom(std::string_view first_bytes);

// A strict decoder met an invalid sequence.
class DecodeError : public std::runtime_error {
 public:
  DecodeError(const std::string& what, std::uint64_t byte_offset)
      : std::runtime_error(what), byte_offset_(byte_offset) {}
  std::uint64_t byte_offset() const { return byte_offset_; }  // from the start of the decoded bytes

 private:
  std::uint64_t byte_offset_;
};

// What a UTF-16 to UTF-8 conversion does with an unpaired surrogate.
enum class OnInvalid {
  fail,     // throw DecodeError (text read from files, paths)
  replace,  // put U+FFFD in its place (texts from other programs, shown as they come)
};

// Strict conversions; throw DecodeError naming the offset of the first bad unit.
void validate_utf8(std::string_view bytes);
std::string utf8_from_utf16(std::u16string_view text, OnInvalid on_invalid = OnInvalid::fail);
std::u16string utf16_from_utf8(std::string_view text);
#ifdef _WIN32
// The same at the Win32 boundary, where wchar_t is a UTF-16 unit.
std::wstring wide_from_utf8(std::string_view text);
std::string utf8_from_wide(std::wstring_view text, OnInvalid on_invalid = OnInvalid::fail);
#endif

// Incremental decoder from one encoding to UTF-8, fed block by block. A
// character split across two blocks is carried over to the next call.
// Strict for UTF-8 and UTF-16 (throws DecodeError), lenient for ansi.
class Decoder {
 public:
  // Error offsets count from `first_offset` (the size of a skipped mark, say).
  explicit Decoder(Encoding encoding, std::uint64_t first_offset = 0);
  // Appends the UTF-8 of `bytes` to `out`. `is_last` says no more bytes follow,
  // so an incomplete trailing sequence is an error (strict) or U+30FB (ansi).
  void decode(std::string_view bytes, bool is_last, std::string& out);
  // The same into caller memory with room for max_output(bytes.size()) bytes;
  // returns the bytes written. Saves the zero-filling of a growing string.
  std::size_t decode_into(std::string_view bytes, bool is_last, char* out);
  // The most bytes one call writes for `size` input bytes (carry included).
  static constexpr std::size_t max_output(std::size_t size) { return size * 3 + 16; }
  Encoding encoding() const { return encoding_; }

 private:
  void decode_step(std::string_view bytes, bool is_last, char*& out);  // advances `out`

  Encoding encoding_;
  std::uint64_t offset_ = 0;  // bytes consumed so far, for error offsets
  std::string carry_;         // incomplete sequence held from the last block
};

// The ANSI code page (932) decoded leniently into UTF-8; the whole text at once.
std::string utf8_from_ansi(std::string_view bytes);

// How many bytes (1 or 2) the ANSI decoder takes for the character that starts
// with `first` when `second` follows it: 2 when `first` is a lead byte and the
// two join (for 932: whatever `second` is, except NUL, which always stands for
// itself). Lets a caller find line breaks in ANSI bytes without decoding them;
// a lead byte that joins its successor swallows a CR or LF there, as Windows does.
std::size_t ansi_char_length(unsigned char first, unsigned char second);
// True when `byte` may open a double-byte character of the ANSI code page.
bool is_ansi_lead_byte(unsigned char byte);

}  // namespace efi::platform
