// efload's command line: the commands, their options as one static table, and
// the parser that turns argv (UTF-8) into a Request or a UsageError. Parsing
// touches nothing: a bad command line is refused before any file is opened.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "import/run.h"
#include "report/render.h"

namespace efi::cli {

enum class Command {
  help,            // print the help text (of one command, or the overview)
  init,            // apply the schema to the database
  run,             // one import run
  report,          // the generic drug share report of a month
  previous_month,  // print the month before the current one, YYYYMM
  version,         // print the version
};

// A command line efload cannot act on; the text is one line, without "efload: ".
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Request {
  Command command = Command::help;
  std::optional<Command> help_topic;                        // help: the command asked about, if any
  std::string database = "vorn.sqlite3";                    // --db, UTF-8, relative to the current folder
  std::string yymm;                                         // run: --yymm, as typed; report: YYYYMM
  int pattern = 1;                                          // run, report: --pattern, 1 or 2
  std::array<std::string, import::source_count> sources{};  // run: a path per source; empty = off
  bool print_timings = false;  // run: --timings, each step's duration on standard error
  int months = 6;              // report: --months, the months shown in all
  std::string out;             // report: --out, UTF-8; empty = efimport-report-YYYYMM.<format>
  report::Format format = report::Format::html;  // report: --format
};

// Parses the arguments after the program name.
Request parse_command_line(const std::vector<std::string>& arguments);

// The help text: the overview when `topic` is empty, else one command's.
std::string help_text(std::optional<Command> topic);

// The pattern key the run binds: pattern 1 is 0, pattern 2 is 1.
inline std::int64_t yymmkbn_of_pattern(int pattern) { return pattern == 2 ? 1 : 0; }

}  // namespace efi::cli
