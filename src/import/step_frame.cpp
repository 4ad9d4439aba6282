#include "import/step_frame.h"

#include <climits>
#include <string_view>
#include <utility>
#include <vector>

#include "import/line_source.h"
#include "import/path_rules.h"
#include "import/read_ahead.h"
#include "platform/files.h"
#include "workbook/converter.h"

namespace efi::import {

namespace {

// A failure the frame itself detects, its text already saying what and where.
class StepError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The temporary CSV of the workbook step: removed when the step ends,
// whether it committed, failed, or its roll-back failed.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) platform::delete_file(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

 private:
  std::string path_;  // empty: nothing to remove
};

int progress_maximum(ProgressRule rule, std::size_t line_count) {
  const std::size_t maximum =
      rule == ProgressRule::line_count_minus_one && line_count > 0 ? line_count - 1 : line_count;
  return maximum > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(maximum);
}

int progress_position(std::size_t line_index) {
  return line_index >= static_cast<std::size_t>(INT_MAX) ? INT_MAX
                                                         : static_cast<int>(line_index + 1);
}

// The date key of a drug list step, taken once for all its rows.
std::string step_date(const StepDef& step, const std::string& list_date,
                      const SourceInput& input, const RunContext& context) {
  if (step.key == KeyKind::file_name_date) {
    if (!is_eight_digit_date(list_date)) {
      throw StepError("taking the list date from \"" + std::string(file_name_part(input.path)) +
                      "\": characters 3 to 10 are \"" + list_date + "\", not eight digits");
    }
    return list_date;
  }
  if (!context.environment.today_yyyymmdd) {
    throw StepError("taking today's date: the run has no clock");
  }
  return context.environment.today_yyyymmdd();
}

void delete_key_rows(const StepDef& step, const std::string& date, RunContext& context) {
  db::Statement& del = context.statements.del;
  del.set_text(step.delete_sql);
  if (step.key == KeyKind::year_month) {
    del.set(yymm_parameter, context.keys.yymm);  // text
    del.set(yymmkbn_parameter, context.keys.yymmkbn);  // integer
  } else {
    del.set(ymd_parameter, date);  // text
  }
  del.execute();
}

void convert_workbook(const SourceInput& input, RunContext& context) {
  const std::string& csv = context.environment.temp_csv_path;
  platform::delete_file(csv);  // a file left by an earlier crash; success not examined
  workbook::Converter* converter = context.environment.converter;
  if (converter == nullptr) {
    throw StepError("converting \"" + input.path + "\": no workbook converter is available");
  }
  converter->convert(input.path, csv, workbook::xlCSVUTF8);
}

// "file:line: line has N fields, field K is missing".
std::string missing_field_text(const std::string& path, std::size_t line_number,
                               const FieldIndexError& error, const std::string& converted_from) {
  std::string text = path + ":" + std::to_string(line_number) + ": line has " +
                     std::to_string(error.count()) + " fields, field " +
                     std::to_string(error.index()) + " is missing";
  if (!converted_from.empty()) text += " (converted from \"" + converted_from + "\")";
  return text;
}

// Reads `path` and inserts one row per line from the step's first line on.
void insert_lines(const StepDef& step, const std::string& path, const std::string& date,
                  const std::string& converted_from, RunContext& context) {
  db::Statement& insert = context.statements.*step.insert;
  RunHost& host = context.host;

  // Parameter indexes, resolved once for the whole file.
  std::vector<std::size_t> key_parameters;
  if (step.key == KeyKind::year_month) {
    key_parameters = {insert.param_index(yymm_parameter), insert.param_index(yymmkbn_parameter)};
  } else {
    key_parameters = {insert.param_index(ymd_parameter)};
  }
  std::vector<std::size_t> field_parameters;
  field_parameters.reserve(step.fields.size());
  for (const FieldBinding& binding : step.fields) {
    field_parameters.push_back(insert.param_index(binding.parameter));
  }

  LineSource lines(path);
  const int maximum = progress_maximum(step.progress, lines.line_count());
  // Lines are read and split on a thread of their own while this one binds
  // and inserts; the fields are bound straight from the split lines.
  ReadAhead ahead(lines, step.delimiter);
  const FieldList* fields = nullptr;
  for (std::size_t index = 0; ahead.next(fields); ++index) {
    if (index < step.first_line) continue;  // never stored
    host.set_progress_max(maximum);
    host.set_progress_position(progress_position(index));
    if (step.key == KeyKind::year_month) {
      insert.set(key_parameters[0], context.keys.yymm);
      insert.set(key_parameters[1], context.keys.yymmkbn);  // becomes the text "0" or "1"
    } else {
      insert.set(key_parameters[0], date);
    }
    try {
      for (std::size_t k = 0; k < step.fields.size(); ++k) {
        const FieldBinding& binding = step.fields[k];
        if (binding.is_optional && binding.field >= fields->count()) {
          insert.set(field_parameters[k], std::string_view());
        } else {
          insert.set_borrowed(field_parameters[k], fields->at(binding.field));
        }
      }
    } catch (const FieldIndexError& error) {
      throw StepError(missing_field_text(path, index + 1, error, converted_from));
    }
    insert.execute();
    host.pump_messages();
  }
}

std::string read_error_text(const ReadError& error) {
  const std::string what = error.what();
  if (error.path().empty() || what.find(error.path()) != std::string::npos) return what;
  std::string text = error.path();
  if (error.line_number() != 0) text += ":" + std::to_string(error.line_number());
  return text + ": " + what;
}

}  // namespace

std::string current_failure_cause() {
  try {
    throw;
  } catch (const db::Error& error) {
    return error.what();  // the engine's own text
  } catch (const ReadError& error) {
    return read_error_text(error);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "an unknown failure";
  }
}

StepResult run_source_step(const StepDef& step, RunContext& context) {
  const SourceInput& input = context.keys.sources[static_cast<std::size_t>(step.source)];
  if (!input.is_switched_on || input.path.empty()) return StepResult::skipped;

  RunHost& host = context.host;
  host.set_status(step.status_text);
  host.repaint();

  // Outside the protected region: a path no file can have stops the run.
  std::string list_date;
  if (step.key != KeyKind::year_month) check_path_chars(input.path);
  if (step.key == KeyKind::file_name_date) list_date = list_date_from_file_name(input.path);

  TemporaryFile temporary(step.converts_workbook ? context.environment.temp_csv_path
                                                 : std::string());
  try {
    context.connection.start_transaction();
    const std::string date =
        step.key == KeyKind::year_month ? std::string() : step_date(step, list_date, input, context);
    delete_key_rows(step, date, context);
    if (step.converts_workbook) {
      convert_workbook(input, context);
      insert_lines(step, context.environment.temp_csv_path, date, input.path, context);
    } else {
      insert_lines(step, input.path, date, std::string(), context);
    }
    context.connection.commit();
  } catch (...) {
    std::string cause = current_failure_cause();
    context.connection.rollback();  // a failing roll-back stops the run
    host.show_step_error(StepFailure{std::string(step.error_message), std::move(cause)});
    return StepResult::failed;
  }
  return StepResult::succeeded;
}

}  // namespace efi::import
