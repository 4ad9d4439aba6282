// The six source steps as data. Each row says what its source reads, how it
// splits and binds a line, which table it replaces rows in, and what the
// window shows meanwhile; one frame (step_frame.cpp) runs every row, so the
// steps differ only where this table says they do.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "db/statement.h"
#include "import/run.h"

namespace efi::import {

// How a step's rows are keyed, and so which delete it runs.
enum class KeyKind {
  year_month,      // yymm and yymmkbn from the run's keys (E and F files)
  file_name_date,  // ymd: characters 3 to 10 of the workbook's name (ETC list)
  today,           // ymd: the local date when the step starts (Y list)
};

// The progress bar's maximum while a step reads its lines.
enum class ProgressRule {
  line_count_minus_one,  // E and F files
  line_count,            // the drug lists
};

// One statement parameter filled from one field of the split line.
struct FieldBinding {
  std::string_view parameter;  // marker name in the insert, without ':'
  std::size_t field;           // zero-based field index
  bool is_optional = false;    // a line without this field binds the empty text
};

struct StepDef {
  Source source;                                // which file name box it reads
  std::string_view status_text;                 // first status panel while it runs
  std::string_view delete_sql;                  // replaces the key's rows (into FDQ_DEL)
  db::Statement Statements::*insert;            // its insert statement object
  std::span<const std::string_view> insert_lines;  // the insert's text, line by line
  std::span<const FieldBinding> fields;         // in field index order
  std::string_view error_message;               // the step's own failure message
  std::size_t first_line;                       // lines before it are never split
  ProgressRule progress;                        // maximum of the bar per line
  char delimiter;                               // tab (E, F) or comma (drug lists)
  KeyKind key;                                  // how rows are keyed
  bool converts_workbook;                       // read the converted CSV, not the file
};

// Names of the key parameters in the deletes and inserts.
inline constexpr std::string_view yymm_parameter = "yymm";
inline constexpr std::string_view yymmkbn_parameter = "yymmkbn";
inline constexpr std::string_view ymd_parameter = "ymd";

// The six rows in run order: E inpatient, F inpatient, E outpatient,
// F outpatient, ETC list, Y list.
const std::array<StepDef, source_count>& source_steps();

// Statement text from its lines: joined by "\n", no break after the last.
std::string joined_lines(std::span<const std::string_view> lines);

}  // namespace efi::import
