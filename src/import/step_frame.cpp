#include "import/step_frame.h"

#include <climits>
#include <optional>
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
  return line_index >= static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(line_index + 1);
}

// The key of a source step, taken once for all its rows: the run's
// year-month and pattern, the workbook's list date, or the day the clock
// gives now.
StepKey take_key(const StepDef& step, const SourceInput& input, const std::string& list_date,
                 const RunContext& context) {
  switch (step.key) {
    case KeyKind::year_month: return year_month_key(context.keys);
    case KeyKind::file_name_date:
      if (!is_eight_digit_date(list_date)) {
        throw FailureError(Failure::list_date(std::string(file_name_part(input.path)), list_date));
      }
      return {{{ymd_parameter, list_date}}};
    case KeyKind::today:
      if (!context.environment.today_yyyymmdd) {
        throw FailureError(Failure::other("taking today's date: the run has no clock"));
      }
      return {{{ymd_parameter, context.environment.today_yyyymmdd()}}};
  }
  throw FailureError(Failure::other("taking the key: unknown kind of key"));
}

void convert_workbook(const SourceInput& input, RunContext& context) {
  const std::string& csv = context.environment.temp_csv_path;
  platform::delete_file(csv);  // a file left by an earlier crash; success not examined
  if (context.environment.remove_stale_temp_files) context.environment.remove_stale_temp_files();
  workbook::Converter* converter = context.environment.converter;
  if (converter == nullptr) {
    throw FailureError(
        Failure::conversion("converting \"" + input.path + "\": no workbook converter is available"));
  }
  converter->convert(input.path, csv, workbook::xlCSVUTF8);
  check_stop(context);  // the conversion cannot be cut short; its end can
}

// Reads `path` and inserts one row per line from the step's first line on.
void insert_lines(const StepDef& step, const std::string& path,
                  const std::optional<std::string>& converted_from, RunContext& context, StepReport& report) {
  const ReadDef& read = step.read;
  db::Statement& insert = context.statements.*step.tables.front().insert;
  RunHost& host = context.host;

  // Parameter indexes, resolved once for the whole file.
  const KeyBinding key(insert, report.key);
  std::vector<std::size_t> field_parameters;
  field_parameters.reserve(read.fields.size());
  for (const FieldBinding& binding : read.fields) {
    field_parameters.push_back(insert.param_index(binding.parameter));
  }

  LineSource lines(path);
  const int maximum = progress_maximum(read.progress, lines.line_count());
  // Lines are read and split on a thread of their own while this one binds
  // and inserts; the fields are bound straight from the split lines.
  ReadAhead ahead(lines, read.delimiter);
  const FieldList* fields = nullptr;
  for (std::size_t index = 0; ahead.next(fields); ++index) {
    if (index < read.first_line) continue;  // never stored
    check_stop(context);
    host.set_progress_max(maximum);
    host.set_progress_position(progress_position(index));
    key.bind();
    try {
      for (std::size_t k = 0; k < read.fields.size(); ++k) {
        const FieldBinding& binding = read.fields[k];
        if (binding.is_optional && binding.field >= fields->count()) {
          insert.set(field_parameters[k], std::string_view());
        } else {
          insert.set_borrowed(field_parameters[k], fields->at(binding.field));
        }
      }
    } catch (const FieldIndexError& error) {
      throw FailureError(
          Failure::missing_field(path, index + 1, error.index(), error.count(), converted_from));
    }
    insert.execute();
    ++report.rows_inserted;
    host.pump_messages();
  }
}

}  // namespace

void check_stop(const RunContext& context) {
  const auto& stop_requested = context.environment.stop_requested;
  if (stop_requested && stop_requested()) throw Interrupted();
}

LongStatements::LongStatements(RunContext& context)
    : check_(context.connection, [&context] {
        context.host.pump_messages();
        const auto& stop_requested = context.environment.stop_requested;
        return stop_requested && stop_requested();
      }) {}

StepKey year_month_key(const RunKeys& keys) {
  return {{{yymm_parameter, keys.yymm}, {yymmkbn_parameter, keys.yymmkbn}}};
}

void delete_key_rows(const StepDef& step, const TableDef& table, const StepKey& key, RunContext& context) {
  db::Statement& del = context.statements.del;
  del.set_text(delete_sql(table, step.key));
  KeyBinding(del, key).bind();
  del.execute();
}

KeyBinding::KeyBinding(db::Statement& statement, const StepKey& key) : statement_(statement), key_(key) {
  indexes_.reserve(key.values.size());
  for (const KeyValue& value : key.values) indexes_.push_back(statement.param_index(value.parameter));
}

void KeyBinding::bind() const {
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    std::visit([&](const auto& value) { statement_.set(indexes_[i], value); }, key_.values[i].value);
  }
}

void fail_step(const StepDef& step, RunContext& context, StepReport& report) {
  // The roll-back comes before anything that can throw: describing the
  // failure allocates, and a step left in its transaction would make the
  // next step's BEGIN fail for a reason of its own.
  context.connection.rollback();  // a failing roll-back stops the run
  check_stop(context);            // whatever failed, a stop request ends the run here
  report.outcome = StepOutcome::failed;
  report.failure = current_failure();
  context.host.show_step_error(StepFailure{step.error_message, *report.failure});
}

void run_source_step(const StepDef& step, RunContext& context, StepReport& report) {
  const SourceInput& input = context.keys.sources[static_cast<std::size_t>(*step.source)];
  if (!input.is_switched_on || input.path.empty()) return;  // skipped
  check_stop(context);

  RunHost& host = context.host;
  host.set_status(step.status_text);
  host.repaint();

  // Outside the protected region: a path no file can have stops the run.
  std::string list_date;
  if (step.key != KeyKind::year_month) check_path_chars(input.path);
  if (step.key == KeyKind::file_name_date) list_date = list_date_from_file_name(input.path);

  const bool converts = step.read.converts_workbook;
  TemporaryFile temporary(converts ? context.environment.temp_csv_path : std::string());
  try {
    context.connection.start_transaction();
    report.key = take_key(step, input, list_date, context);
    {
      const LongStatements long_statements(context);
      delete_key_rows(step, step.tables.front(), report.key, context);
    }
    if (converts) {
      convert_workbook(input, context);
      insert_lines(step, context.environment.temp_csv_path, input.path, context, report);
    } else {
      insert_lines(step, input.path, std::nullopt, context, report);
    }
    context.connection.commit();
  } catch (...) {
    fail_step(step, context, report);
    return;
  }
  report.outcome = StepOutcome::committed;
}

}  // namespace efi::import
