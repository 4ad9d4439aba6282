// Conversion of a workbook into the CSV file that the drug list step reads:
// UTF-8 with a byte-order mark, one line per row, comma-separated, fields
// quoted where needed (what Excel writes for file format 62, "CSV UTF-8").
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace efi::workbook {

constexpr int xlCSVUTF8 = 62;  // Excel's file-format code for CSV, UTF-8

class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Converter {
 public:
  virtual ~Converter() = default;
  // Writes `out_file` from `excel_file`; returns normally only when the whole
  // CSV is written. Throws ConversionError (or another std::exception).
  virtual void convert(const std::string& excel_file, const std::string& out_file, int format) = 0;
};

// Excel through automation where "Excel.Application" is registered (Windows),
// else the built-in .xlsx reader.
std::unique_ptr<Converter> make_default_converter();

}  // namespace efi::workbook
