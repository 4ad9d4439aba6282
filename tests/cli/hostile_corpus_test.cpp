// Hostile input through efload: broken encodings, odd line breaks, control
// bytes, a 100 MB line, short lines, a folder or a locked file given as the
// file, paths and list names that no run may act on. Every case runs on a
// copy of one database already loaded for its keys, and must end with the
// step's own message (or the path message that stops the run), the exit
// status that goes with it, and the earlier rows exactly as they were.
// The corpus is tests/data/hostile/, written by make_hostile.py there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "efload_test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace efi::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string corpus = native_path(EFI_SOURCE_DIR) + "/tests/data/hostile/";

const std::string& completion = messages::completion;
const std::string& path_message = messages::invalid_path;
const std::string& en_error = messages::en_error;
const std::string& y_error = messages::y_error;
const std::string& etc_error = messages::etc_error;

// The path handed to efload, and whatever must stay alive while it runs.
struct Input {
  std::string path;
  std::shared_ptr<void> hold;
};
using MakeInput = std::function<Input(const fs::path& folder)>;

MakeInput committed(const std::string& name) {
  return [name](const fs::path&) { return Input{corpus + name, nullptr}; };
}

// A file of the corpus copied under another name (the drug list's name is
// its date).
MakeInput copied_as(const std::string& name, const std::string& copy) {
  return [name, copy](const fs::path& folder) {
    fs::copy_file(corpus + name, folder / copy);
    return Input{(folder / copy).string(), nullptr};
  };
}

// A name no file may have; nothing is created.
MakeInput not_created(const std::string& name) {
  return [name](const fs::path& folder) { return Input{(folder / name).string(), nullptr}; };
}

MakeInput folder_as_file() {
  return [](const fs::path& folder) {
    fs::create_directory(folder / "EN_202110.txt");
    return Input{(folder / "EN_202110.txt").string(), nullptr};
  };
}

// 100 MB in one line of four fields; written here rather than committed.
MakeInput large_line() {
  return [](const fs::path& folder) {
    const fs::path path = folder / "large_line.txt";
    std::ofstream out(path, std::ios::binary);
    out << "a\tb\tc\t";
    const std::string block(std::size_t{1} << 20, 'x');
    for (int i = 0; i < 100; ++i) out << block;
    if (!out) throw std::runtime_error("writing " + path.string() + " failed");
    return Input{path.string(), nullptr};
  };
}

// A good E file that another handle holds open for writing. Only Windows has
// share modes that make opening it fail.
MakeInput held_for_writing() {
  return [](const fs::path& folder) {
    const fs::path path = folder / "EN_held.txt";
    fs::copy_file(native_path(EFI_SOURCE_DIR) + "/samples/EN_202110.txt", path);
#ifdef _WIN32
    HANDLE handle = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      throw std::runtime_error("opening " + path.string() + " for writing failed");
    }
    return Input{path.string(), std::shared_ptr<void>(handle, [](HANDLE h) { CloseHandle(h); })};
#else
    return Input{path.string(), nullptr};
#endif
  };
}

struct HostileCase {
  std::string name;
  std::string option;  // the source it is given as: --en, --y or --etc
  MakeInput input;
  int exit_code;                   // 0 loaded, 1 the step failed, 3 the run stopped
  std::string message;             // the step's message or the stopping text; empty when loaded
  std::string cause;               // part of efload's "  cause:" line; empty when none is printed
  int en_rows = -1;                // loaded: En's rows afterwards; -1: every row is kept
  std::string en_check = {};       // loaded: SQL giving one value of the new rows...
  std::string en_value = {};       // ...and that value
  bool needs_share_modes = false;  // the case needs Windows' file share modes
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

const std::vector<HostileCase> hostile_cases = {
    {"zero_bytes", "--en", committed("zero_bytes.txt"), 0, "", "", 0},
    {"mark_and_no_text", "--en", committed("bom_only.txt"), 0, "", "", 0},
    {"only_line_breaks", "--en", committed("only_breaks.txt"), 1, en_error,
     "only_breaks.txt:1: line has 0 fields, field 0 is missing"},
    {"single_line_of_100_mb", "--en", large_line(), 1, en_error,
     "large_line.txt:1: line has 4 fields, field 4 is missing"},
    {"nul_inside_a_line", "--en", committed("nul_in_line.txt"), 1, en_error,
     "nul_in_line.txt:2: line has 3 fields, field 3 is missing"},
    {"nul_after_the_last_field", "--en", committed("nul_after_fields.txt"), 0, "", "", 2,
     "select group_concat(stype, '|') from En", "001|001"},
    {"sub_inside_a_field", "--en", committed("sub_in_field.txt"), 0, "", "", 1, "select hex(meisyou) from En",
     "E586851AE69C8D"},
    {"sub_as_end_of_file_mark", "--en", committed("eof_mark.txt"), 1, en_error,
     "eof_mark.txt:3: line has 1 fields, field 1 is missing"},
    {"lone_cr_line_ends", "--en", committed("lone_cr.txt"), 0, "", "", 2,
     "select group_concat(jno || meisyou, '|') from (select * from En order by jno)",
     "0001内服薬|0002内服薬"},
    {"lf_cr_pairs", "--en", committed("lf_cr.txt"), 1, en_error,
     "lf_cr.txt:2: line has 0 fields, field 0 is missing"},
    {"invalid_utf8_after_mark", "--en", committed("utf8_invalid.txt"), 1, en_error,
     "invalid UTF-8 at byte offset 236"},
    {"utf16_of_odd_length", "--en", committed("utf16_odd.txt"), 1, en_error,
     "UTF-16 file has an odd number of bytes"},
    {"utf16_unpaired_surrogate", "--en", committed("utf16_unpaired.txt"), 1, en_error,
     "unpaired surrogate in UTF-16 at byte offset 444"},
    {"utf16_big_endian", "--en", committed("utf16be.txt"), 0, "", "", 2,
     "select group_concat(meisyou, '|') from (select * from En order by jno)", "ガスター散２％|𠮷野家"},
    {"random_bytes", "--en", committed("random.bin"), 1, en_error,
     "random.bin:1: line has 2 fields, field 2 is missing"},
    {"folder_as_the_file", "--en", folder_as_file(), 1, en_error, "EN_202110.txt"},
    {"file_held_open_for_writing", "--en", held_for_writing(), 1, en_error, "EN_held.txt", -1, "", "", true},
    {"e_line_of_24_fields", "--en", committed("e_24_fields.txt"), 1, en_error,
     "e_24_fields.txt:2: line has 24 fields, field 24 is missing"},
    {"y_line_of_31_fields", "--y", committed("y_31_fields.csv"), 1, y_error,
     "y_31_fields.csv:2: line has 31 fields, field 31 is missing"},
    {"y_path_with_bar", "--y", not_created("y|list.csv"), 3, path_message, ""},
    {"etc_path_with_less_than", "--etc", not_created("ab<20211001.xlsx"), 3, path_message, ""},
    {"etc_name_with_dashes", "--etc", copied_as("etc_good.xlsx", "ab2021-10-01.xlsx"), 1, etc_error,
     "characters 3 to 10 are \"2021-10-\", not eight digits"},
    {"etc_name_reading_like_sql", "--etc", copied_as("etc_good.xlsx", "ab1 or 1=1.xlsx"), 1, etc_error,
     "characters 3 to 10 are \"1 or 1=1\", not eight digits"},
    {"etc_name_too_short", "--etc", copied_as("etc_good.xlsx", "ab.xlsx"), 1, etc_error,
     "characters 3 to 10 are \".xlsx\", not eight digits"},
};

// One database loaded for yymm 202110, pattern 1, with every source and two
// drug lists, made once per process and copied for each case.
class Baseline {
 public:
  Baseline() {
    database_ = folder_.path("vorn.sqlite3");
    const ProcessResult init = run_efload({"init", "--db", database_}, folder_.folder());
    if (init.exit_code != 0) throw std::runtime_error("efload init failed: " + init.err);
    const std::string list_1001 = folder_.path("ab20211001.xlsx");
    const std::string list_1101 = folder_.path("ab20211101.xlsx");
    fs::copy_file(corpus + "etc_good.xlsx", list_1001);
    fs::copy_file(corpus + "etc_good.xlsx", list_1101);
    load({"--en", samples + "EN_202110.txt", "--fn", samples + "FN_202110.txt", "--eg",
          samples + "EG_202110.txt", "--fg", samples + "FG_202110.txt", "--etc", list_1001, "--y",
          samples + "y_20250813.csv"});
    load({"--etc", list_1101});
    contents_ = database_contents(database_);
  }
  const std::string& database() const { return database_; }
  const DatabaseContents& contents() const { return contents_; }

 private:
  void load(std::vector<std::string> sources) {
    std::vector<std::string> arguments = {"run", "--yymm", "202110", "--db", database_};
    arguments.insert(arguments.end(), sources.begin(), sources.end());
    const ProcessResult run = run_efload(arguments, folder_.folder());
    if (run.exit_code != 0) throw std::runtime_error("loading the baseline failed: " + run.out);
  }

  ScratchFolder folder_{"efload-test"};
  std::string database_;
  DatabaseContents contents_;
};

const Baseline& baseline() {
  static const Baseline made;
  return made;
}

class HostileCorpus : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileCorpus, EndsWithItsMessageAndKeepsEarlierRows) {
  const HostileCase& c = GetParam();
#ifndef _WIN32
  if (c.needs_share_modes) {
    GTEST_SKIP() << "POSIX has no mandatory locking: a file another process holds open for "
                    "writing can still be opened and read, so there is nothing to refuse";
  }
#endif
  const DatabaseContents& before = baseline().contents();
  ASSERT_EQ(before.at("En").size(), 18u);
  ASSERT_EQ(before.at("kyak").size(), 6u);  // two lists of three rows
  ASSERT_EQ(before.at("yak").size(), 35u);

  ScratchFolder folder{"efload-test"};
  const std::string database = folder.path("vorn.sqlite3");
  fs::copy_file(baseline().database(), database);
  const Input input = c.input(folder.folder());
  const ProcessResult result =
      run_efload({"run", "--yymm", "202110", "--db", database, c.option, input.path}, folder.folder());

  EXPECT_EQ(result.exit_code, c.exit_code) << result.out << result.err;
  EXPECT_THAT(result.err, Not(HasSubstr("Sanitizer")));
  EXPECT_THAT(result.err, Not(HasSubstr("runtime error")));
  if (c.exit_code == 3) {
    EXPECT_THAT(result.out, HasSubstr(c.message + "\n"));
    EXPECT_THAT(result.out, Not(HasSubstr(completion)));
    EXPECT_THAT(result.out, Not(HasSubstr("cause:")));
  } else {
    EXPECT_THAT(result.out, HasSubstr(std::string(completion) + "\n"));
  }
  if (c.exit_code == 1) {
    EXPECT_THAT(result.out, HasSubstr(c.message + "\n  cause: "));
    EXPECT_THAT(result.out, HasSubstr(c.cause));
  }
  if (c.exit_code == 0) {
    EXPECT_THAT(result.out, Not(HasSubstr("エラー")));
  }

  const DatabaseContents after = database_contents(database);
  if (c.en_rows < 0) {
    EXPECT_EQ(after, before) << "the run changed stored rows";
    return;
  }
  // Loaded: En holds the file's rows; every other source table is as it was.
  for (const auto& [table, rows] : before) {
    if (table == "En" || table == "EFn" || table == "EFg") continue;
    EXPECT_EQ(after.at(table), rows) << "table " << table << " changed";
  }
  EXPECT_EQ(after.at("En").size(), static_cast<std::size_t>(c.en_rows));
  if (!c.en_check.empty()) {
    EXPECT_EQ(query_value(database, c.en_check), c.en_value);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileCorpus, ::testing::ValuesIn(hostile_cases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

}  // namespace
}  // namespace efi::cli::testing
