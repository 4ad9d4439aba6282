// Why a step failed, as a value: what kind of failure, where (file, line,
// field) and what was wrong, with the engine's own text where the database
// refused. One formatter turns a record into the cause efload prints; the
// window shows only the step's fixed message and never formats one.
//
// The frame raises its own failures as FailureError (the record travels with
// the exception) and turns every other exception it catches into a record
// with current_failure(), after the step's roll-back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace efi::import {

enum class FailureKind {
  engine,         // the database refused a statement: `reason` is its text
  open_file,      // the input file could not be opened: `reason` is the system's text
  read_file,      // the input file could not be read or decoded
  changed_file,   // the input file changed between the two readings: `reason` says how
  missing_field,  // a line has fewer fields than the step binds
  list_date,      // the workbook's name holds no eight-digit list date
  conversion,     // the workbook could not be converted: `reason` is the converter's text
  other,          // anything else: `reason` says what
  interrupted,    // a request to stop (Ctrl+C, SIGTERM) ended the run in this step
  undescribed,    // describing the failure failed itself (no memory left); no text was kept
};

struct Failure {
  FailureKind kind = FailureKind::other;
  std::string file;                           // the file being read or named; empty when none
  std::optional<std::string> converted_from;  // the workbook `file` was converted from, if it was
  std::uint64_t line = 0;                     // 1-based line of `file`; 0 when not tied to a line
  std::size_t field = 0;                      // missing_field: the zero-based field asked for
  std::size_t field_count = 0;                // missing_field: the fields the line has
  std::string reason;                         // what was wrong, in words
  int engine_code = 0;                        // engine: its extended result code

  // Named factories, one per kind.
  static Failure engine(std::string text, int extended_code);
  static Failure open_file(std::string path, std::string system_text);
  static Failure read_file(std::string path, std::uint64_t line, std::string what_was_wrong);
  static Failure changed_file(std::string path, std::string how);
  static Failure missing_field(std::string path, std::uint64_t line, std::size_t index, std::size_t count,
                               std::optional<std::string> converted_from);
  static Failure list_date(std::string file_name, std::string date);
  static Failure conversion(std::string text);
  static Failure other(std::string text);
  static Failure interrupted();
};

// The cause as efload prints it:
//   engine, conversion, other    the text itself
//   open_file                    cannot open file '<file>': <reason>
//   read_file                    cannot read file '<file>': <reason>
//   changed_file                 <file>: the file changed while it was read (<reason>)
//   missing_field                <file>:<line>: line has N fields, field K is missing
//                                [ (converted from "<workbook>")]
//   list_date                    taking the list date from "<file>": characters 3 to 10
//                                are "<reason>", not eight digits
//   interrupted                  interrupted
std::string failure_text(const Failure& failure);

// An exception that carries its failure as a record; what() is its text.
class FailureError : public std::runtime_error {
 public:
  explicit FailureError(Failure failure);
  const Failure& failure() const { return failure_; }

 private:
  Failure failure_;
};

// Inside a catch block: the exception being handled as a record. Never
// throws: when building the record fails (memory ran out after a huge line),
// the result is an `undescribed` failure with no text.
Failure current_failure() noexcept;

// Test seam: called at the start of every current_failure(); a test sets it
// to throw, as building a record does when memory runs out.
inline void (*before_describing_failure)() = nullptr;

}  // namespace efi::import
