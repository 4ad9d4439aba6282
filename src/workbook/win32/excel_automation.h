// Conversion through Microsoft Excel by COM automation (late-bound IDispatch):
// one hidden Excel instance per call opens the workbook read-only, saves it
// in the requested file format and quits.
#pragma once

#include <string>

#include "workbook/converter.h"

namespace efi::workbook {

// "Excel.Application" is not registered (CLSIDFromProgID answered
// CO_E_CLASSSTRING): the only failure after which another converter may
// take over.
class ExcelNotRegistered : public ConversionError {
 public:
  using ConversionError::ConversionError;
};

// Saves `excel_file` as `out_file` in Excel file format `format`. Returns
// once Excel has saved; throws ConversionError after a complete clean-up.
void ConvertExcelFile(const std::string& excel_file, const std::string& out_file, int format);

class ExcelConverter : public Converter {
 public:
  void convert(const std::string& excel_file, const std::string& out_file, int format) override {
    ConvertExcelFile(excel_file, out_file, format);
  }
};

// Excel; the built-in reader only where Excel is not registered. Any other
// failure of Excel is a failure of the conversion.
class ExcelOrBuiltinConverter : public Converter {
 public:
  void convert(const std::string& excel_file, const std::string& out_file, int format) override;
};

}  // namespace efi::workbook
