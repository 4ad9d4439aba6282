// efload's entry point: arguments to UTF-8, the command line parsed before
// anything is touched, then the command; every failure that leaves a command
// is printed as one "efload: ..." line and mapped to an exit status.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/report_command.h"
#include "efimport/product.h"

#include "platform/console.h"
#ifdef _WIN32
#include "platform/text.h"
#endif

namespace {

int efload_main(const std::vector<std::string>& arguments) {
  using namespace efi::cli;
  Request request;
  try {
    request = parse_command_line(arguments);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "efload: %s\n", error.what());
    return exit_usage;
  }
  try {
    switch (request.command) {
      case Command::help: {
        const std::string text = help_text(request.help_topic);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return exit_ok;
      }
      case Command::version: std::fputs("efload " EFI_VERSION_TEXT "\n", stdout); return exit_ok;
      case Command::init: return run_init(request);
      case Command::run: return run_import(request);
      case Command::report: return run_report(request);
      case Command::previous_month: return run_previous_month();
    }
  } catch (const MissingDatabase& error) {
    std::fprintf(stderr, "efload: %s\n", error.what());
    return exit_usage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "efload: %s\n", error.what());
    return exit_step_failed;
  }
  return exit_step_failed;
}

}  // namespace

#ifdef _WIN32
// Linked with -municode: the arguments arrive as UTF-16 and become UTF-8;
// the console shows UTF-8, so the Japanese messages print as they are.
int wmain(int argc, wchar_t** argv) {
  efi::platform::use_utf8_console_output();
  std::vector<std::string> arguments;
  try {
    for (int i = 1; i < argc; ++i) arguments.push_back(efi::platform::utf8_from_wide(argv[i]));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "efload: reading the command line: %s\n", error.what());
    return efi::cli::exit_usage;
  }
  return efload_main(arguments);
}
#else
int main(int argc, char** argv) { return efload_main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
