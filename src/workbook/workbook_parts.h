// The parts of an .xlsx file that the sheet needs before it can be written:
// which sheet is active and where it lives, the shared string table, and
// which cell formats show dates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/cell_text.h"

namespace efi::workbook {

class ZipArchive;
struct XlsxLimits;

struct WorkbookLayout {
  std::string sheet_part;           // zip part of the active sheet, e.g. "xl/worksheets/sheet1.xml"
  std::string sheet_name;           // its name, for messages
  std::string shared_strings_part;  // empty when the workbook has none
  std::string styles_part;          // empty when the workbook has none
  bool date1904 = false;            // dates count from 1904-01-01
};

// Reads xl/workbook.xml and its relationships. Throws ConversionError when
// the archive holds no workbook or the active sheet cannot be found.
WorkbookLayout read_layout(const ZipArchive& zip);

// The shared string table: every entry's text, rich text runs joined,
// phonetic runs left out, escapes undone.
class SharedStrings {
 public:
  void load(const ZipArchive& zip, const std::string& part, std::uint64_t max_entries);
  std::size_t size() const { return ends_.size(); }
  std::string_view at(std::size_t i) const {
    std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(pool_).substr(begin, ends_[i] - begin);
  }
  // used while loading
  void add(std::string_view text) {
    pool_ += text;
    ends_.push_back(pool_.size());
  }

 private:
  std::string pool_;               // all entries, one after the other
  std::vector<std::size_t> ends_;  // end offset of each entry in pool_
};

// Cell formats (cellXfs) that show numbers as dates.
class CellStyles {
 public:
  void load(const ZipArchive& zip, const std::string& part, std::uint64_t max_styles);
  // The date format of style index `xf`, or null for a number shown as General.
  const DateFormat* date_format(std::size_t xf) const {
    if (xf >= xf_date_.size() || xf_date_[xf] < 0) return nullptr;
    return &formats_[static_cast<std::size_t>(xf_date_[xf])];
  }

 private:
  std::vector<DateFormat> formats_;  // the distinct date formats in use
  std::vector<int> xf_date_;         // per cellXfs entry: index into formats_, or -1
};

}  // namespace efi::workbook
