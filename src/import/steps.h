// The steps of the run as data: the six sources in their fixed order, then
// the drug usage derivation. Each row says which tables it replaces the
// key's rows of, how its key is taken, what the window shows meanwhile and,
// for a source, how its file is read, split and bound. One frame
// (step_frame.cpp) runs every source row and one (derivation.cpp) the
// derivation's, so the steps differ only where this table says they do.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "db/statement.h"
#include "import/run.h"

namespace efi::import {

// How a step's rows are keyed, and so which rows its deletes remove.
enum class KeyKind {
  year_month,      // yymm and yymmkbn from the run's keys (E and F files, the derivation)
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

// A table whose rows of the step's key are replaced, and what fills it.
struct TableDef {
  std::string_view name;                           // En, Fn, Eg, Fg, kyak, yak, EFn, EFg
  db::Statement Statements::*insert;               // its insert statement object
  std::span<const std::string_view> insert_lines;  // the insert's text, line by line
};

// How a source step reads its file; the derivation reads none.
struct ReadDef {
  std::span<const FieldBinding> fields;              // in field index order
  std::size_t first_line = 0;                        // lines before it are never split or stored
  ProgressRule progress = ProgressRule::line_count;  // maximum of the bar per line
  char delimiter = '\t';                             // tab (E, F) or comma (drug lists)
  bool converts_workbook = false;                    // read the converted CSV, not the named file
};

struct StepDef {
  std::optional<Source> source;      // the file name box a source step reads; none: the derivation
  std::string_view status_text;      // first status panel while it runs
  std::string_view error_message;    // the step's own failure message
  KeyKind key;                       // how its rows are keyed
  std::span<const TableDef> tables;  // a source's one table; EFn and EFg for the derivation
  ReadDef read;                      // source steps only
};

constexpr std::size_t step_count = source_count + 1;

// Every step in run order: E inpatient, F inpatient, E outpatient,
// F outpatient, ETC list, Y list, derivation.
const std::array<StepDef, step_count>& run_steps();
// The first six of them, indexed by Source; and the last.
std::span<const StepDef, source_count> source_steps();
const StepDef& derivation_step();

// Names of the key parameters in the deletes and inserts.
inline constexpr std::string_view yymm_parameter = "yymm";
inline constexpr std::string_view yymmkbn_parameter = "yymmkbn";
inline constexpr std::string_view ymd_parameter = "ymd";

// The condition that picks a key's rows, with its named parameters:
// "yymm = :yymm and yymmkbn = :yymmkbn", or "ymd = :ymd".
std::string_view key_condition(KeyKind kind);

// "delete from <table> where <key condition>": the statement that replaces
// the key's rows, run through the shared FDQ_DEL.
std::string delete_sql(const TableDef& table, KeyKind kind);

// Statement text from its lines: joined by "\n", no break after the last.
std::string joined_lines(std::span<const std::string_view> lines);

}  // namespace efi::import
