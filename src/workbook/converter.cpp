// The converter the program uses: Excel where it is registered, else the
// built-in reader (see converter.h).
#include "workbook/converter.h"

#include "workbook/xlsx_reader.h"
#ifdef _WIN32
#include "workbook/win32/excel_automation.h"
#endif

namespace efi::workbook {

std::unique_ptr<Converter> make_default_converter() {
#ifdef _WIN32
  return std::make_unique<ExcelOrBuiltinConverter>();
#else
  return std::make_unique<XlsxReader>();
#endif
}

}  // namespace efi::workbook
