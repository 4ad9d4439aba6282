// efload end to end, as a process: exit statuses, what it prints, and what
// it leaves in the database. The sample month in samples/ is the main input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "efload_test_support.h"

namespace efi::cli::testing {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string en_sample = samples + "EN_202110.txt";
const std::string fn_sample = samples + "FN_202110.txt";
const std::string eg_sample = samples + "EG_202110.txt";
const std::string fg_sample = samples + "FG_202110.txt";
const std::string y_sample = samples + "y_20250813.csv";

constexpr const char* completion = "データ取り込みが終了しました。";

// `text` with the eight digits after each "ymd " replaced by "yyyymmdd".
std::string with_dates_masked(std::string text) {
  for (std::size_t at = text.find("ymd "); at != std::string::npos; at = text.find("ymd ", at + 1)) {
    const std::size_t digits = at + 4;
    if (text.size() >= digits + 8 && text.find_first_not_of("0123456789", digits) >= digits + 8) {
      text.replace(digits, 8, "yyyymmdd");
    }
  }
  return text;
}

// `text` with every decimal number (digits and points) replaced by "N".
std::string with_numbers_masked(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] >= '0' && text[i] <= '9') {
      while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) ++i;
      out += 'N';
    } else {
      out += text[i++];
    }
  }
  return out;
}

class Efload : public ::testing::Test {
 protected:
  // A database made by `efload init` in the test's folder.
  std::string initialised_database() {
    const std::string database = folder.path("vorn.sqlite3");
    const ProcessResult init = run_efload({"init", "--db", database}, folder.folder());
    EXPECT_EQ(init.exit_code, 0) << init.err;
    return database;
  }
  ProcessResult run(std::vector<std::string> arguments, const std::string& database) {
    arguments.insert(arguments.begin(), "run");
    arguments.insert(arguments.end(), {"--db", database});
    return run_efload(arguments, folder.folder());
  }

  ScratchFolder folder{"efload-test"};
};

TEST_F(Efload, UsageErrorsExitTwoWithOneLineAndTouchNothing) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // the line on standard error after "efload: "
  };
  const std::vector<Case> cases = {
      {{}, "no command given (try 'efload --help')"},
      {{"load"}, "unknown command 'load' (the commands are init, run, report, previous-month and help)"},
      {{"run", "--yymm", "202110", "--eh", "x.txt"}, "unknown option '--eh' (try 'efload run --help')"},
      {{"run", "--en", "x.txt", "--yymm"}, "option --yymm needs a value (TEXT)"},
      {{"run", "--yymm", "--en", "x.txt"}, "option --yymm needs a value (TEXT)"},
      {{"run", "--yymm="}, "option --yymm needs a non-empty value (TEXT)"},
      {{"run", "--yymm", "202110", "--pattern", "3"}, "--pattern must be 1 or 2, not '3'"},
      {{"run", "--en", "x.txt"}, "efload run needs --yymm, the year-month to load (e.g. --yymm 202110)"},
      {{"run", "--yymm", "202110", "--en", "a.txt", "--en", "b.txt"}, "option --en given twice"},
      {{"run", "--yymm", "202110", "x.txt"}, "unexpected argument 'x.txt' (options start with --)"},
      {{"init", "--yymm", "202110"}, "option --yymm does not belong to 'efload init'"},
      {{"help", "load"}, "no help on 'load' (the commands are init, run, report and previous-month)"},
      // --db is added below: previous-month takes no option
      {{"previous-month"}, "unexpected argument '--db' after previous-month"},
      {{"run", "--yymm", "202110", "--timings=yes"}, "--timings takes no value"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = c.arguments;
    if (!arguments.empty() && arguments[0] != "help") {
      arguments.insert(arguments.end(), {"--db", folder.path("vorn.sqlite3")});
    }
    const ProcessResult result = run_efload(arguments, folder.folder());
    SCOPED_TRACE(::testing::PrintToString(arguments));
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.err, "efload: " + c.message + "\n");
    EXPECT_THAT(result.out, IsEmpty());
    EXPECT_TRUE(std::filesystem::is_empty(folder.folder())) << "a file was created";
  }
}

TEST_F(Efload, RunRefusesADatabaseThatDoesNotExist) {
  const std::string database = folder.path("missing.sqlite3");
  const ProcessResult result = run({"--yymm", "202110", "--en", en_sample}, database);
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_EQ(result.err, "efload: the database " + database +
                            " does not exist (create it with 'efload init --db " + database + "')\n");
  EXPECT_FALSE(std::filesystem::exists(database));
}

TEST_F(Efload, HelpExplainsCommandsOptionsAndExitCodes) {
  const std::vector<std::vector<std::string>> asks = {{"--help"},         {"-h"},
                                                      {"help"},           {"help", "run"},
                                                      {"run", "--help"},  {"run", "--yymm", "1", "-h"},
                                                      {"init", "--help"}, {"help", "init"}};
  for (const auto& ask : asks) {
    SCOPED_TRACE(::testing::PrintToString(ask));
    const ProcessResult result = run_efload(ask, folder.folder());
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_THAT(result.err, IsEmpty());
    EXPECT_THAT(result.out, AllOf(HasSubstr("--db PATH"), HasSubstr("Exit status:"), HasSubstr("Example:"),
                                  HasSubstr("efload init")));
    if (ask[0] != "init" && ask.back() != "init") {
      EXPECT_THAT(result.out, AllOf(HasSubstr("--yymm TEXT"), HasSubstr("--pattern 1|2"),
                                    HasSubstr("--etc FILE"), HasSubstr("--y FILE")));
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder.folder()));
}

// The month before the one `now` falls in, by the local date, as YYYYMM.
std::string previous_month_at(std::time_t now) {
  std::tm local = *std::localtime(&now);
  local.tm_mday = 1;  // the 1st of this month, then one month back
  local.tm_mon -= 1;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  const std::time_t back = std::mktime(&local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m", std::localtime(&back));
  return text;
}

TEST_F(Efload, PreviousMonthIsTheMonthBeforeToday) {
  const std::string before = previous_month_at(std::time(nullptr));
  const ProcessResult result = run_efload({"previous-month"}, folder.folder());
  const std::string after = previous_month_at(std::time(nullptr));  // in case a month ended meanwhile
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_THAT(result.out, ::testing::AnyOf(before + "\n", after + "\n"));
  EXPECT_THAT(result.err, IsEmpty());
  EXPECT_TRUE(std::filesystem::is_empty(folder.folder()));

  const ProcessResult help = run_efload({"previous-month", "--help"}, folder.folder());
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_THAT(help.out, HasSubstr("efload previous-month\n\nPrints the month before the current one"));
}

#ifdef _WIN32
// efload switches the console to UTF-8 to show its Japanese messages. The
// console is that of the command prompt or batch file that started it, which
// goes on in its own code page (932 on a Japanese PC) once efload has ended.
TEST_F(Efload, LeavesTheConsoleCodePageAsItFoundIt) {
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  ASSERT_TRUE(SetConsoleOutputCP(932));
  const std::vector<std::vector<std::string>> commands = {
      {"--version"},
      {"init", "--db", folder.path("vorn.sqlite3")},
      {"run", "--yymm", "202110", "--en", en_sample, "--db", folder.path("vorn.sqlite3")},
      {"report", "--yymm", "202110", "--db", folder.path("missing.sqlite3")},  // exits 2
  };
  for (const auto& command : commands) {
    SCOPED_TRACE(::testing::PrintToString(command));
    const ProcessResult result = run_efload(command, folder.folder());
    EXPECT_NE(result.exit_code, -1);
    EXPECT_EQ(GetConsoleOutputCP(), 932u);
  }
  FreeConsole();
}
#endif

TEST_F(Efload, InitTwiceKeepsTablesAndRows) {
  const std::string database = initialised_database();
  ASSERT_EQ(run({"--yymm", "202110", "--en", en_sample}, database).exit_code, 0);
  const ProcessResult again = run_efload({"init", "--db", database}, folder.folder());
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(again.out, "efload: the schema is in place in " + database + "\n");
  EXPECT_EQ(query_value(database, "select count(*) from En"), "18");
  EXPECT_EQ(query_value(database, "select count(*) from sqlite_master where type = 'table'"), "8");
}

TEST_F(Efload, InitFailureNamesTheFileAndExitsOne) {
  const std::string database = folder.path("no-such-folder/vorn.sqlite3");
  const ProcessResult result = run_efload({"init", "--db", database}, folder.folder());
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.err, HasSubstr("efload: applying the schema to " + database + ": "));
  EXPECT_THAT(result.err, HasSubstr("unable to open database file"));
}

TEST_F(Efload, RunOverTheSamplesLoadsAndDerives) {
  const std::string database = initialised_database();
  const ProcessResult result = run({"--yymm", "202110", "--en", en_sample, "--fn", fn_sample, "--eg",
                                    eg_sample, "--fg", fg_sample, "--y", y_sample},
                                   database);
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr(std::string(completion) + "\n"));
  EXPECT_THAT(result.out, HasSubstr("table En: 18 rows for yymm 202110, yymmkbn 0\n"
                                    "table Fn: 30 rows for yymm 202110, yymmkbn 0\n"
                                    "table Eg: 15 rows for yymm 202110, yymmkbn 0\n"
                                    "table Fg: 24 rows for yymm 202110, yymmkbn 0\n"));
  EXPECT_THAT(with_dates_masked(result.out), EndsWith("table yak: 35 rows for ymd yyyymmdd\n"
                                                      "table EFn: 15 rows for yymm 202110, yymmkbn 0\n"
                                                      "table EFg: 8 rows for yymm 202110, yymmkbn 0\n"));
  // Not on a terminal: one status line per step, no redrawn bar.
  EXPECT_EQ(result.err,
            "Eファイル(入院)\nFファイル(入院)\nEファイル(外来)\nFファイル(外来)\nYファイル\n"
            "入院、外来データ集計中\n");

  // The ガスター散 detail of patient 12345's act 2: 1.5 g a day for 7 days.
  EXPECT_EQ(query_value(database,
                        "select jisymd || ' ' || shiyouryou_kaisu || ' ' || meisyou from EFn "
                        "where dscode = '0000012345' and jno = '0002' and kmno = '001'"),
            "20211003 10.5 ガスター散２％");
  // A drug the list does not hold, and a procedure, give no derived row.
  EXPECT_EQ(query_value(database, "select count(*) from EFn where rdcode in ('620098801', '190117710')"),
            "0");
  EXPECT_EQ(query_value(database, "select count(*) from EFg where jisymd is null"), "0");
}

// The temporary CSVs beside efload ("vornexport-<process id>.csv") whose
// process has ended: files a run left behind. Those of runs still going (the
// tests run in parallel) are not counted.
std::vector<std::string> temporary_files_left() {
  const std::filesystem::path folder = std::filesystem::path(path_of(efload_path())).parent_path();
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("vornexport-", 0) != 0) continue;
    const unsigned long pid = std::strtoul(name.c_str() + 11, nullptr, 10);
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    const bool running = process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (process != nullptr) CloseHandle(process);
#else
    const bool running = kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
    if (!running) left.push_back(name);
  }
  return left;
}

TEST_F(Efload, DrugListWorkbookLoadsUnderItsListDate) {
  const std::string workbook = samples + "tp20211101-01_05.xlsx";
  ASSERT_TRUE(std::filesystem::exists(path_of(workbook))) << "no sample workbook " << workbook;
  const std::string database = initialised_database();
  const ProcessResult result = run({"--yymm", "202110", "--etc", workbook}, database);
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr(std::string(completion) + "\ntable kyak: 30 rows for ymd 20211101\n"));
  EXPECT_EQ(query_value(database, "select hinmei from kyak where code = '1112700X1011'"), "ハロタン");
  EXPECT_THAT(temporary_files_left(), IsEmpty());
}

// Files a crashed window or killed efload left beside efload: the next drug
// list load removes them, but not the file of a run still going, nor files
// of other names.
TEST_F(Efload, DrugListLoadRemovesTheTemporaryFilesOfEndedRuns) {
  // A copy of efload in a folder of its own: the files beside it are this test's.
  ScratchFolder program_folder("efload-copy");
  const std::filesystem::path program = path_of(efload_path());
  const std::filesystem::path copy = program_folder.folder() / program.filename();
  std::filesystem::copy_file(program, copy);
  const long own = static_cast<long>(
#ifdef _WIN32
      GetCurrentProcessId()
#else
      getpid()
#endif
  );
  const std::string ended = "vornexport-3999996.csv";  // no process has so high an id here
  const std::string running = "vornexport-" + std::to_string(own) + ".csv";
  const std::string other = "vornexport-notes.csv";
  for (const std::string& name : {std::string("vornexport.csv"), ended, running, other}) {
    ASSERT_TRUE(write_file(program_folder.path(name), "left behind\n")) << name;
  }
  const std::string database = initialised_database();
  const ProcessResult result = run_efload_copy(
      utf8_of(copy),
      {"run", "--yymm", "202110", "--etc", samples + "tp20211101-01_05.xlsx", "--db", database},
      folder.folder());
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr("table kyak: 30 rows for ymd 20211101\n"));

  EXPECT_FALSE(std::filesystem::exists(program_folder.folder() / "vornexport.csv"));
  EXPECT_FALSE(std::filesystem::exists(program_folder.folder() / ended));
  EXPECT_TRUE(std::filesystem::exists(program_folder.folder() / running));
  EXPECT_TRUE(std::filesystem::exists(program_folder.folder() / other));
}

TEST_F(Efload, PatternTwoKeepsPatternOneRows) {
  const std::string database = initialised_database();
  ASSERT_EQ(run({"--yymm", "202110", "--fn", fn_sample}, database).exit_code, 0);
  const ProcessResult result = run({"--yymm", "202110", "--pattern", "2", "--fn", fn_sample}, database);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_THAT(result.out, HasSubstr("table Fn: 30 rows for yymm 202110, yymmkbn 1\n"));
  EXPECT_EQ(query_value(database, "select count(*) from Fn where yymmkbn = '0'"), "30");
  EXPECT_EQ(query_value(database, "select count(*) from Fn where yymmkbn = '1'"), "30");
}

TEST_F(Efload, FailedStepPrintsMessageAndCauseAndExitsOne) {
  const std::string database = initialised_database();
  ASSERT_EQ(run({"--yymm", "202110", "--en", en_sample}, database).exit_code, 0);
  // Line 3 has five fields; the step must be rolled back whole.
  const std::string bad = folder.path("bad_en.txt");
  const std::string good_line(
      "131234567\t0000000001\t20211001\t20211001\t21\t0001\t1\t2\t3\t内服\t5\t6\t7\t8\t9\t"
      "1\t2\t20211001\t4\t5\t6\t7\t8\t9\t001\r\n");
  ASSERT_TRUE(write_file(
      bad, good_line + good_line + "131234567\t0000000001\t20211001\t20211001\t21\r\n" + good_line));
  const std::string missing = folder.path("missing_fg.txt");
  const ProcessResult result =
      run({"--yymm", "202110", "--en", bad, "--fn", fn_sample, "--fg", missing}, database);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.out, HasSubstr("ENファイル取り込みエラー\n  cause: " + bad +
                                    ":3: line has 5 fields, field 5 is missing\n"));
  EXPECT_THAT(result.out, AllOf(HasSubstr("FGファイル取り込みエラー\n  cause: "), HasSubstr(missing),
                                HasSubstr(std::string(completion) + "\n")));
  // Only the tables the run changed are counted: Fn and the derivation.
  EXPECT_THAT(result.out, AllOf(HasSubstr("table Fn: 30 rows"), Not(HasSubstr("table En:")),
                                Not(HasSubstr("table Fg:")), HasSubstr("table EFn: 0 rows")));
  EXPECT_EQ(query_value(database, "select count(*) from En"), "18");  // the sample's rows, kept
}

TEST_F(Efload, StoppedRunPrintsTheGeneralErrorAndExitsThree) {
  const std::string database = initialised_database();
  const ProcessResult result =
      run({"--yymm", "202110", "--en", en_sample, "--y", folder.path("y|list.csv")}, database);
  EXPECT_EQ(result.exit_code, 3);
  EXPECT_THAT(result.out, HasSubstr("パスに無効な文字が含まれています.\n"));
  EXPECT_THAT(result.out, Not(HasSubstr(completion)));
  EXPECT_THAT(result.out, HasSubstr("table En: 18 rows for yymm 202110, yymmkbn 0\n"));
  EXPECT_THAT(result.out, AllOf(Not(HasSubstr("table yak")), Not(HasSubstr("table EFn"))));
  EXPECT_EQ(query_value(database, "select count(*) from En"), "18");
}

TEST_F(Efload, TimingsFollowEachStepOnStandardError) {
  const std::string database = initialised_database();
  const ProcessResult result = run({"--yymm", "202110", "--fn", fn_sample, "--timings"}, database);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(with_numbers_masked(result.err),
            "Fファイル(入院)\n"
            "efload: Fファイル(入院) took N s (CPU N s)\n"
            "入院、外来データ集計中\n"
            "efload: 入院、外来データ集計中 took N s (CPU N s)\n");
}

TEST_F(Efload, JapaneseFileNameInTheMessagesAsGiven) {
  const std::string database = initialised_database();
  const std::string missing = folder.path("外来Ｆ（なし）　10月.txt");
  const ProcessResult result = run({"--yymm", "202110", "--fg", missing}, database);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.out, HasSubstr("FGファイル取り込みエラー\n  cause: "));
  EXPECT_THAT(result.out, HasSubstr("外来Ｆ（なし）　10月.txt"));
}

TEST_F(Efload, JapaneseFileNameIsLoaded) {
  const std::string database = initialised_database();
  std::ifstream in(en_sample, std::ios::binary);  // an ASCII path
  const std::string en_bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string japanese = folder.path("入院Ｅファイル　10月.txt");
  if (!write_file(japanese, en_bytes)) {
#ifdef _WIN32
    // Wine maps file names through the Unix locale; without a Japanese UTF-8
    // locale it cannot create this name, which Windows itself can.
    GTEST_SKIP() << "cannot create " << japanese;
#else
    FAIL() << "cannot create " << japanese;
#endif
  }
  const ProcessResult result = run({"--yymm", "202110", "--en", japanese}, database);
  EXPECT_EQ(result.exit_code, 0) << result.out;
  EXPECT_THAT(result.out, HasSubstr("table En: 18 rows for yymm 202110, yymmkbn 0\n"));
}

TEST_F(Efload, RunWithoutSourcesOnlyRebuildsTheDerivedRows) {
  const std::string database = initialised_database();
  ASSERT_EQ(
      run({"--yymm", "202110", "--en", en_sample, "--fn", fn_sample, "--y", y_sample}, database).exit_code,
      0);
  const ProcessResult result = run({"--yymm", "202110"}, database);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, std::string(completion) +
                            "\ntable EFn: 15 rows for yymm 202110, yymmkbn 0\n"
                            "table EFg: 0 rows for yymm 202110, yymmkbn 0\n");
}

}  // namespace
}  // namespace efi::cli::testing
