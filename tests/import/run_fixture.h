// Shared pieces of the import run tests: a host that records every call in
// order, a converter that writes a given CSV or fails, and a fixture with a
// fresh database (the real schema) in a temporary folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/schema.h"
#include "import/run.h"
#include "support/query.h"
#include "support/scratch_folder.h"
#include "workbook/converter.h"

namespace efi::import::testing {

using efi::test_support::path_of;
using efi::test_support::Row;
using efi::test_support::ScratchFolder;
using efi::test_support::utf8_of;

// Every host call as one text: "status:…", "repaint", "max:N", "pos:N",
// "pump", "step_error:…", "general_error:…", "completion:text|caption".
class RecordingHost : public RunHost {
 public:
  void set_status(std::string_view text) override { events.push_back("status:" + std::string(text)); }
  void repaint() override { events.push_back("repaint"); }
  void set_progress_max(int maximum) override { events.push_back("max:" + std::to_string(maximum)); }
  void set_progress_position(int position) override { events.push_back("pos:" + std::to_string(position)); }
  void pump_messages() override { events.push_back("pump"); }
  void show_step_error(const StepFailure& failure) override {
    events.push_back("step_error:" + std::string(failure.step_message));
    failures.push_back({std::string(failure.step_message), failure.failure, failure_text(failure.failure)});
  }
  void show_general_error(std::string_view text) override {
    events.push_back("general_error:" + std::string(text));
  }
  void show_completion(std::string_view text, std::string_view caption) override {
    events.push_back("completion:" + std::string(text) + "|" + std::string(caption));
  }

  // The events that start with `prefix`, in order.
  std::vector<std::string> starting_with(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& e : events) {
      if (std::string_view(e).starts_with(prefix)) found.push_back(e);
    }
    return found;
  }
  // The events after the first "status:<status>" up to, not including, the
  // next status text or the next return of the bar to 0.
  std::vector<std::string> during(std::string_view status) const {
    std::vector<std::string> found;
    bool inside = false;
    for (const std::string& e : events) {
      if (inside && (e.starts_with("status:") || e == "pos:0")) break;
      if (inside) found.push_back(e);
      if (e == "status:" + std::string(status)) inside = true;
    }
    return found;
  }

  void step_finished(const StepReport& report) override { finished.push_back(report); }

  // What show_step_error received, kept beyond the call.
  struct ShownFailure {
    std::string step_message;  // the step's fixed message
    Failure failure;           // the record
    std::string cause;         // its text, as efload prints it
  };

  std::vector<std::string> events;     // every call, in order
  std::vector<ShownFailure> failures;  // what show_step_error received
  std::vector<StepReport> finished;    // what step_finished received
};

// Writes `csv` to the output file, or throws after writing part of it.
class TestConverter : public workbook::Converter {
 public:
  struct Call {
    std::string excel_file;  // the workbook asked for
    std::string out_file;    // where the CSV was to go
    int format;              // the file-format code
    bool out_file_existed;   // whether a file was already there
  };
  void convert(const std::string& excel_file, const std::string& out_file, int format) override {
    calls.push_back({excel_file, out_file, format, std::filesystem::exists(path_of(out_file))});
    efi::test_support::write_file(out_file, csv);
    if (failure) throw workbook::ConversionError(*failure);
  }

  std::string csv;                     // what a conversion writes
  std::optional<std::string> failure;  // set: the conversion fails with this text
  std::vector<Call> calls;             // every conversion asked for
};

class RunTest : public ::testing::Test {
 protected:
  RunTest() {
    database = path("vorn.sqlite3");
    db::apply_schema(database);
    connection = std::make_unique<db::Connection>(database);
    statements = std::make_unique<Statements>(*connection);
    environment.converter = &converter;
    environment.temp_csv_path = path("vornexport.csv");
    environment.today_yyyymmdd = [this] {
      ++today_calls;
      return today;
    };
    keys.yymm = "202110";
    keys.yymmkbn = 0;
  }
  ~RunTest() override {
    // closed before the folder goes
    statements.reset();
    connection.reset();
  }

  std::string path(std::string_view name) const { return scratch_.path(name); }

  // Writes `bytes` as the file `name` in the test's folder; returns its path.
  std::string file(std::string_view name, std::string_view bytes) const { return scratch_.file(name, bytes); }

  // Switches every source off, then `source` on with `path`.
  void only(Source source, const std::string& file_path) {
    for (SourceInput& input : keys.sources) input = SourceInput{true, ""};
    use(source, file_path);
  }
  void use(Source source, const std::string& file_path) {
    keys.sources[static_cast<std::size_t>(source)] = SourceInput{true, file_path};
  }

  // Runs and keeps the run's report in `report`; returns its outcome.
  RunOutcome run() {
    host.events.clear();
    host.failures.clear();
    host.finished.clear();
    report = import::run(keys, *connection, *statements, host, environment);
    return report.outcome;
  }

  // Runs `sql` on a connection of its own after closing the run's, so what
  // it sees is what was committed to the file.
  std::vector<Row> query(const std::string& sql) {
    connection->close();
    return efi::test_support::query_rows(database, sql);
  }

  // Runs statements on the file directly (seeding, breaking tables).
  void exec(const std::string& sql) {
    connection->close();
    efi::test_support::execute_sql(database, sql);
  }

  ScratchFolder scratch_{"efi-run"};  // the test's own temporary folder, first in and last out
  std::string database;               // vorn.sqlite3 in it
  std::unique_ptr<db::Connection> connection;
  std::unique_ptr<Statements> statements;
  RecordingHost host;
  TestConverter converter;
  Environment environment;
  RunKeys keys;
  RunReport report;                // what the last run() did
  std::string today = "20250301";  // what the clock says
  int today_calls = 0;             // how often the clock was asked
};

// A line of `count` fields "<prefix>0", "<prefix>1", …, with `delimiter`.
inline std::vector<std::string> numbered_fields(std::string_view prefix, int count) {
  std::vector<std::string> fields;
  for (int i = 0; i < count; ++i) fields.push_back(std::string(prefix) + std::to_string(i));
  return fields;
}

inline std::string joined(const std::vector<std::string>& fields, char delimiter) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += delimiter;
    line += fields[i];
  }
  return line;
}

inline std::string lines_of(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace efi::import::testing
