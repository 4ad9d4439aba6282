#include "workbook/xlsx_reader.h"

namespace efi::workbook {

void XlsxReader::convert(const std::string& excel_file, const std::string& out_file, int format) {
  throw ConversionError("converting workbook \"" + excel_file + "\": the built-in reader is not ready yet");
}

}  // namespace efi::workbook
