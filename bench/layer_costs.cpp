// Where a load's time goes before SQLite: each layer of efload's reading path
// timed on its own over one E or F file, without a database.
//   1. open: the first pass (line count, validation of UTF-8/UTF-16)
//   2. lines: + decoding every line to UTF-8
//   3. split: + splitting each line at tabs
//   4. set: + setting the fields into the insert's text parameters (copy, trim)
// Each figure is the best of three and includes the ones above it.
//
// Usage: efi_bench_layers FILE FIELDS   (FIELDS: 25 for E, 19 for F)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/statement.h"
#include "import/field_list.h"
#include "import/line_source.h"

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: efi_bench_layers FILE FIELDS\n");
    return 2;
  }
  const std::string path = argv[1];
  const std::size_t field_count = std::strtoul(argv[2], nullptr, 10);

  // An insert with the keys and FIELDS text parameters; it is never executed.
  efi::db::Connection connection(":memory:");
  efi::db::Statement insert(connection, efi::db::ParamTyping::text);
  std::string text = "insert into t values (:yymm, :yymmkbn";
  for (std::size_t i = 0; i < field_count; ++i) text += ", :f" + std::to_string(i);
  insert.set_text(text + ")");
  std::vector<std::size_t> params;
  for (std::size_t i = 0; i < field_count; ++i) params.push_back(insert.param_index("f" + std::to_string(i)));

  const char* names[] = {"open (first pass)", "+ decode lines", "+ split", "+ set parameters"};
  double best[4] = {1e9, 1e9, 1e9, 1e9};
  std::size_t lines = 0;
  for (int round = 0; round < 3; ++round) {
    for (int depth = 0; depth < 4; ++depth) {
      const double start = now();
      efi::import::LineSource source(path);
      efi::import::FieldList fields;
      std::string_view line;
      lines = source.line_count();
      if (depth >= 1) {
        while (source.next(line)) {
          if (depth >= 2) fields.split(line, efi::import::FieldList::tab);
          if (depth >= 3) {
            insert.set(std::size_t{0}, std::string_view("202110"));
            insert.set(std::size_t{1}, std::int64_t{0});
            for (std::size_t i = 0; i < field_count; ++i) insert.set(params[i], fields.at(i));
          }
        }
      }
      const double seconds = now() - start;
      if (seconds < best[depth]) best[depth] = seconds;
    }
  }
  std::printf("layers of %s (%zu lines):\n", path.c_str(), lines);
  for (int depth = 0; depth < 4; ++depth) {
    std::printf("  %-20s %7.3f s  (%+.3f s, %.2f us a line)\n", names[depth], best[depth],
                best[depth] - (depth ? best[depth - 1] : 0.0),
                (best[depth] - (depth ? best[depth - 1] : 0.0)) * 1e6 / static_cast<double>(lines));
  }
  return 0;
}
