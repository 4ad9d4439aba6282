// The option table and its one parsing loop.
#include "cli/options.h"

#include <algorithm>
#include <bitset>
#include <charconv>

namespace efi::cli {
namespace {

enum class OptionId { help, db, yymm, pattern, en, fn, eg, fg, etc, y, timings, months, out, format };
constexpr std::size_t option_id_count = 14;

constexpr unsigned for_init = 1u << 0;
constexpr unsigned for_run = 1u << 1;
constexpr unsigned for_report = 1u << 2;

// The most months a report shows: ten years.
constexpr int max_report_months = 120;

struct OptionSpec {
  std::string_view name;        // long name with its dashes
  OptionId id;                  // what it sets
  std::string_view value_name;  // empty for a switch without value
  unsigned commands;            // for_init | for_run | for_report: where it is accepted
  std::string_view help;        // one line for the help text
};

// The run's sources in run order, so the help lists them as the run reads them.
// An option two commands take with different meanings has a row for each.
constexpr std::array<OptionSpec, 17> option_table{{
    {"--help", OptionId::help, "", for_init | for_run | for_report, "show this help and exit"},
    {"--db", OptionId::db, "PATH", for_init | for_run | for_report,
     "database file (default: vorn.sqlite3 in the current folder)"},
    {"--yymm", OptionId::yymm, "TEXT", for_run,
     "year-month key of the E and F rows, e.g. 202110 (required;\n"
     "used as typed)"},
    {"--pattern", OptionId::pattern, "1|2", for_run,
     "pattern key: 1 (the default) stores yymmkbn 0, 2 stores yymmkbn 1"},
    {"--en", OptionId::en, "FILE", for_run, "E file, inpatient (table En)"},
    {"--fn", OptionId::fn, "FILE", for_run, "F file, inpatient (table Fn)"},
    {"--eg", OptionId::eg, "FILE", for_run, "E file, outpatient (table Eg)"},
    {"--fg", OptionId::fg, "FILE", for_run, "F file, outpatient (table Fg)"},
    {"--etc", OptionId::etc, "FILE", for_run,
     "MHLW drug list workbook, e.g. tp20211101-01_05.xlsx (table kyak,\n"
     "under the list date: characters 3-10 of the file name)"},
    {"--y", OptionId::y, "FILE", for_run, "Y drug code list, CSV (table yak, under today's date)"},
    {"--timings", OptionId::timings, "", for_run,
     "print how long each step took, wall clock and CPU (standard error)"},
    {"--yymm", OptionId::yymm, "YYYYMM", for_report, "the month of the report, e.g. 202110 (required)"},
    {"--pattern", OptionId::pattern, "1|2", for_report,
     "pattern key: 1 (the default) reads yymmkbn 0, 2 reads yymmkbn 1"},
    {"--months", OptionId::months, "N", for_report,
     "months shown in all, the report month and those before it\n(default 6, at most 120)"},
    {"--out", OptionId::out, "FILE", for_report,
     "file to write (default: efimport-report-YYYYMM.html, .csv or\n.json in the current folder); replaced whole"},
    {"--format", OptionId::format, "html|csv|json", for_report,
     "html (the default): the page; csv: the same figures for Excel\n(UTF-8 with BOM); json: for programs"},
}};

constexpr std::array<std::pair<OptionId, import::Source>, import::source_count> source_options{{
    {OptionId::en, import::Source::en},
    {OptionId::fn, import::Source::fn},
    {OptionId::eg, import::Source::eg},
    {OptionId::fg, import::Source::fg},
    {OptionId::etc, import::Source::etc},
    {OptionId::y, import::Source::y},
}};

std::optional<Command> command_named(std::string_view name) {
  if (name == "init") return Command::init;
  if (name == "run") return Command::run;
  if (name == "report") return Command::report;
  if (name == "help") return Command::help;
  if (name == "previous-month") return Command::previous_month;
  return std::nullopt;
}

std::string_view command_name(Command command) {
  switch (command) {
    case Command::init: return "init";
    case Command::run: return "run";
    case Command::report: return "report";
    case Command::help: return "help";
    case Command::previous_month: return "previous-month";
    case Command::version: return "--version";
  }
  return "";
}

bool is_help_switch(std::string_view arg) { return arg == "--help" || arg == "-h"; }

Request help_request(std::optional<Command> topic) {
  Request request;
  request.help_topic = topic;
  return request;
}

// Applies one option's value to the request; the loop has checked everything
// but the value itself.
void apply(Request& request, const OptionSpec& option, const std::string& value) {
  switch (option.id) {
    case OptionId::help: break;
    case OptionId::db: request.database = value; break;
    case OptionId::yymm: request.yymm = value; break;
    case OptionId::pattern:
      if (value != "1" && value != "2") {
        throw UsageError("--pattern must be 1 or 2, not '" + value + "'");
      }
      request.pattern = value == "2" ? 2 : 1;
      break;
    case OptionId::months: {
      int months = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), months);
      if (ec != std::errc() || end != value.data() + value.size() || months < 1 ||
          months > max_report_months) {
        throw UsageError("--months must be a whole number from 1 to " + std::to_string(max_report_months) +
                         ", not '" + value + "'");
      }
      request.months = months;
      break;
    }
    case OptionId::out: request.out = value; break;
    case OptionId::format:
      if (value == "html")
        request.format = report::Format::html;
      else if (value == "csv")
        request.format = report::Format::csv;
      else if (value == "json")
        request.format = report::Format::json;
      else
        throw UsageError("--format must be html, csv or json, not '" + value + "'");
      break;
    default:
      for (const auto& [id, source] : source_options) {
        if (id == option.id) request.sources[static_cast<std::size_t>(source)] = value;
      }
      break;
  }
}

}  // namespace

Request parse_command_line(const std::vector<std::string>& arguments) {
  Request request;
  if (arguments.empty()) {
    throw UsageError("no command given (try 'efload --help')");
  }
  const std::string& first = arguments[0];
  if (is_help_switch(first) || first == "--version") {
    if (arguments.size() > 1) throw UsageError("unexpected argument '" + arguments[1] + "' after " + first);
    if (first == "--version") request.command = Command::version;
    return request;
  }
  std::optional<Command> command = command_named(first);
  if (!command) {
    throw UsageError("unknown command '" + first +
                     "' (the commands are init, run, report, previous-month and help)");
  }
  request.command = *command;
  if (*command == Command::help) {
    if (arguments.size() > 2) throw UsageError("unexpected argument '" + arguments[2] + "' after help");
    if (arguments.size() == 2) {
      request.help_topic = command_named(arguments[1]);
      if (!request.help_topic || *request.help_topic == Command::help) {
        throw UsageError("no help on '" + arguments[1] +
                         "' (the commands are init, run, report and previous-month)");
      }
    }
    return request;
  }
  if (*command == Command::previous_month) {
    if (arguments.size() == 1) return request;
    if (arguments.size() == 2 && is_help_switch(arguments[1])) return help_request(command);
    throw UsageError("unexpected argument '" + arguments[1] + "' after previous-month");
  }

  const unsigned this_command = *command == Command::init  ? for_init
                                : *command == Command::run ? for_run
                                                           : for_report;
  std::bitset<option_id_count> seen;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (arg == "-h") {
      return help_request(command);
    }
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      throw UsageError("unexpected argument '" + arg + "' (options start with --)");
    }
    // --name VALUE or --name=VALUE
    const std::size_t equals = arg.find('=');
    const std::string_view name = std::string_view(arg).substr(0, equals);
    // This command's row of the option, else any (to say it belongs elsewhere).
    auto option = std::find_if(option_table.begin(), option_table.end(), [&](const OptionSpec& o) {
      return o.name == name && (o.commands & this_command) != 0;
    });
    if (option == option_table.end()) {
      option = std::find_if(option_table.begin(), option_table.end(),
                            [&](const OptionSpec& o) { return o.name == name; });
    }
    if (option == option_table.end()) {
      throw UsageError("unknown option '" + std::string(name) + "' (try 'efload " +
                       std::string(command_name(*command)) + " --help')");
    }
    if ((option->commands & this_command) == 0) {
      throw UsageError("option " + std::string(name) + " does not belong to 'efload " +
                       std::string(command_name(*command)) + "'");
    }
    if (option->id == OptionId::help) {
      if (equals != std::string::npos) throw UsageError("--help takes no value");
      return help_request(command);
    }
    const auto id = static_cast<std::size_t>(option->id);
    if (seen[id]) throw UsageError("option " + std::string(name) + " given twice");
    seen[id] = true;

    if (option->value_name.empty()) {  // a switch
      if (equals != std::string::npos) throw UsageError(std::string(name) + " takes no value");
      request.print_timings = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < arguments.size() && arguments[i + 1].compare(0, 2, "--") != 0) {
      value = arguments[++i];
    } else {
      throw UsageError("option " + std::string(name) + " needs a value (" + std::string(option->value_name) +
                       ")");
    }
    if (value.empty()) {
      throw UsageError("option " + std::string(name) + " needs a non-empty value (" +
                       std::string(option->value_name) + ")");
    }
    apply(request, *option, value);
  }
  if (request.command == Command::run && !seen[static_cast<std::size_t>(OptionId::yymm)]) {
    throw UsageError("efload run needs --yymm, the year-month to load (e.g. --yymm 202110)");
  }
  if (request.command == Command::report) {
    if (!seen[static_cast<std::size_t>(OptionId::yymm)]) {
      throw UsageError("efload report needs --yymm, the month of the report (e.g. --yymm 202110)");
    }
    if (!report::is_year_month(request.yymm)) {
      throw UsageError("--yymm of efload report must be YYYYMM, a year and a month 01 to 12, not '" +
                       request.yymm + "'");
    }
  }
  return request;
}

namespace {

std::string option_lines(unsigned command) {
  std::string text;
  for (const OptionSpec& option : option_table) {
    if ((option.commands & command) == 0) continue;
    std::string left = "  " + std::string(option.name);
    if (!option.value_name.empty()) left += " " + std::string(option.value_name);
    if (left.size() < 20)
      left.resize(20, ' ');
    else
      left += "\n" + std::string(20, ' ');
    // Continuation lines of a help text line up under its first line.
    std::string help(option.help);
    for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
      help.insert(at + 1, std::string(20, ' '));
    }
    text += left + help + "\n";
  }
  return text;
}

constexpr std::string_view overview_text =
    "efload: loads the monthly DPC data into the efimport database vorn.sqlite3\n"
    "\n"
    "Usage:\n"
    "  efload init [--db PATH]\n"
    "  efload run --yymm TEXT [--pattern 1|2] [--en FILE] [--fn FILE] [--eg FILE]\n"
    "             [--fg FILE] [--etc FILE] [--y FILE] [--db PATH]\n"
    "  efload report --yymm YYYYMM [--pattern 1|2] [--months N] [--db PATH]\n"
    "                [--out FILE] [--format html|csv|json]\n"
    "  efload previous-month\n"
    "  efload help [init|run|report|previous-month]\n"
    "                                  (also: efload --help, efload run --help)\n"
    "  efload --version\n"
    "\n"
    "efload runs the same import as the EFImport window's \"実行\" button, without\n"
    "the window. First create the database once with 'efload init'; then each month\n"
    "'efload run' loads the files you name, each in a transaction of its own: a\n"
    "file is stored whole or, when one of its lines is bad, not at all, and the\n"
    "other files still load. Every run ends by rebuilding the drug usage tables\n"
    "EFn and EFg for the year-month. 'efload report' then gives the month's\n"
    "generic drug share (see 'efload help report'). 'efload previous-month' prints\n"
    "the year-month the window offers first, for batch files.\n";

constexpr std::string_view exit_codes_text =
    "Exit status:\n"
    "  0  every step that ran succeeded (init: the schema is in place; report:\n"
    "     the file is written)\n"
    "  1  a step failed (its message and the cause are printed), or init failed;\n"
    "     report: the database could not be read (held by the EFImport window,\n"
    "     a table missing, no rows for the month) or the file not written\n"
    "  2  the command line is wrong, or the database does not exist yet (run\n"
    "     'efload init' first); nothing was touched\n"
    "  3  the run stopped before its end (for example an invalid character in the\n"
    "     --etc or --y path); files loaded before the stop stay loaded\n"
    "  130, 143  interrupted by Ctrl+C or SIGTERM (128 + the signal's number): the\n"
    "     file being loaded was rolled back, nothing after it ran; files loaded\n"
    "     before it stay loaded\n";

constexpr std::string_view init_text =
    "efload init [--db PATH]\n"
    "\n"
    "Creates the eight tables of the efimport database (En, Eg, Fn, Fg, EFn, EFg,\n"
    "kyak, yak) and their indexes in PATH, creating the file if needed. Tables that\n"
    "already exist are left as they are, with their rows, so running init twice is\n"
    "harmless.\n"
    "\n"
    "Options:\n";

constexpr std::string_view run_text =
    "efload run --yymm TEXT [options]\n"
    "\n"
    "One import run, in this order: E inpatient, F inpatient, E outpatient,\n"
    "F outpatient, the MHLW drug list, the Y list, then the drug usage tables EFn\n"
    "and EFg for the year-month and pattern. A file option you leave out switches\n"
    "that source off: its table keeps its rows. A file you name replaces the rows\n"
    "of its key (year-month and pattern for E and F; the list date for the MHLW\n"
    "list; today's date for the Y list).\n"
    "\n"
    "E and F files are tab-separated, Y lists comma-separated; files without a\n"
    "byte-order mark are read as Shift_JIS (code page 932), files with one as\n"
    "UTF-8 or UTF-16.\n"
    "\n"
    "Progress goes to standard error. Standard output gets the window's messages,\n"
    "one a line (a failed file's message is followed by its cause, with the line\n"
    "number), then one line per table the run changed with its row count for the\n"
    "key.\n"
    "\n"
    "Options:\n";

constexpr std::string_view report_text =
    "efload report --yymm YYYYMM [options]\n"
    "\n"
    "The generic drug share (後発医薬品使用割合) of a month, inpatient (EFn) and\n"
    "outpatient (EFg), and of the months before it: the new index (置換え率) =\n"
    "generics / (brands with generics + generics), and the cut-off value\n"
    "(カットオフ値) = (brands with generics + generics) / every classified drug,\n"
    "leaving out excluded items, crude drugs and Kampo. Receipt codes are mapped\n"
    "to price-list codes through the newest Y list; each month's classes come\n"
    "from the newest drug list (kyak) dated on or before its last day.\n"
    "\n"
    "The database is opened read-only: nothing is created, changed or left\n"
    "locked. It must not be held by the EFImport window (close the window\n"
    "first). The report is written whole or not at all; the headline figures\n"
    "are printed on standard output.\n"
    "\n"
    "Options:\n";

constexpr std::string_view previous_month_text =
    "efload previous-month\n"
    "\n"
    "Prints the month before the current one, by the PC's local date, as YYYYMM\n"
    "(202110 on any day of November 2021): the year-month the EFImport window\n"
    "selects when it opens. Batch files take it as the default year-month of a\n"
    "report, since cmd's %DATE% is written as each PC's regional settings say:\n"
    "  for /f %%m in ('efload.exe previous-month') do set YYMM=%%m\n";

constexpr std::string_view example_text =
    "Example:\n"
    "  efload init\n"
    "  efload run --yymm 202110 --en EN.txt --fn FN.txt --eg EG.txt --fg FG.txt \\\n"
    "             --etc tp20211101-01_05.xlsx --y y.csv\n"
    "  efload report --yymm 202110\n";

}  // namespace

std::string help_text(std::optional<Command> topic) {
  std::string text;
  if (topic == Command::init) {
    text += init_text;
    text += option_lines(for_init);
  } else if (topic == Command::run) {
    text += run_text;
    text += option_lines(for_run);
  } else if (topic == Command::report) {
    text += report_text;
    text += option_lines(for_report);
  } else if (topic == Command::previous_month) {
    text += previous_month_text;
  } else {
    text += overview_text;
    text += "\nOptions of efload run (init takes --db only):\n";
    text += option_lines(for_run);
    text += "\nOptions of efload report:\n";
    text += option_lines(for_report);
  }
  text += "\n";
  text += exit_codes_text;
  text += "\n";
  text += example_text;
  return text;
}

}  // namespace efi::cli
