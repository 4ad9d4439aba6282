// The built-in workbook reader: an .xlsx file (a zip of SpreadsheetML parts)
// turned into the CSV that Excel writes for "CSV UTF-8" (file format 62).
//
// Only the active sheet is written, as Excel saves it: UTF-8 with a
// byte-order mark, rows of the used range ended by CR LF, every row padded to
// the used range's last column, fields quoted where they hold a comma, a
// double quote or a line break. Cells show their cached values: shared and
// inline strings (phonetic runs left out), numbers with at most 15
// significant digits, TRUE/FALSE, error texts, and dates in their number
// format. Everything is streamed: no part of the workbook is held whole.
#pragma once

#include <cstdint>
#include <string>

#include "workbook/converter.h"

namespace efi::workbook {

// Bounds that keep a hostile file from exhausting memory or time.
struct XlsxLimits {
  std::uint64_t max_part_bytes = std::uint64_t{1} << 30;    // uncompressed bytes read from one part
  std::uint64_t max_shared_strings = 10'000'000;            // entries of the shared string table
  std::uint64_t max_styles = 1'000'000;                     // cell formats (cellXfs entries)
  std::uint64_t max_output_bytes = std::uint64_t{4} << 30;  // CSV bytes (a used range can be huge yet empty)
};

class XlsxReader : public Converter {
 public:
  XlsxReader() = default;
  explicit XlsxReader(const XlsxLimits& limits) : limits_(limits) {}
  // `format` must be xlCSVUTF8; anything else is a ConversionError.
  void convert(const std::string& excel_file, const std::string& out_file, int format) override;

 private:
  XlsxLimits limits_;  // bounds applied to every conversion
};

}  // namespace efi::workbook
