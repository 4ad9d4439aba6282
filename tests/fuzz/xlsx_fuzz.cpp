// Arbitrary bytes as an .xlsx file for the built-in reader: it must either
// write a CSV or throw ConversionError, within bounded memory and time, and
// leave no output behind when it fails.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "workbook/xlsx_reader.h"

namespace {

const std::string& scratch(const char* ext) {
  static std::string paths[2] = {"/tmp/xlsx_fuzz_" + std::to_string(getpid()) + ".xlsx",
                                 "/tmp/xlsx_fuzz_" + std::to_string(getpid()) + ".csv"};
  return paths[ext[0] == 'c'];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& in = scratch("xlsx");
  const std::string& out = scratch("csv");
  if (std::FILE* f = std::fopen(in.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    std::abort();
  }
  efi::workbook::XlsxLimits limits;  // small, so bombs cost little per run
  limits.max_part_bytes = 8 << 20;
  limits.max_shared_strings = 100000;
  limits.max_styles = 10000;
  limits.max_output_bytes = 16 << 20;
  std::remove(out.c_str());
  try {
    efi::workbook::XlsxReader(limits).convert(in, out, efi::workbook::xlCSVUTF8);
  } catch (const efi::workbook::ConversionError&) {
    if (std::FILE* left = std::fopen(out.c_str(), "rb")) {
      std::fclose(left);
      std::abort();  // a failed conversion left its output behind
    }
  }
  std::remove(out.c_str());
  return 0;
}
