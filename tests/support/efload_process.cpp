#include "support/efload_process.h"

#include "support/scratch_folder.h"
#include "support/wine_path.h"

#ifndef _WIN32

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace efi::test_support {

namespace {

ProcessResult run(const std::string& program, const std::vector<std::string>& arguments,
                  const std::filesystem::path& working_folder, RunAs run_as) {
  // The child's output goes to files beside the test's temporary folder, so
  // they never show up in a listing of the folder the child works in.
  ScratchFolder capture("efload-output");
  const std::string out_path = capture.path("stdout");
  const std::string err_path = capture.path("stderr");
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("starting efload: fork failed");
  if (child == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(working_folder.c_str()) != 0) {
      _exit(127);
    }
    // the output files stay open across the change of user
    constexpr uid_t nobody = 65534;
    if (run_as == RunAs::unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
      _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) throw std::runtime_error("waiting for efload failed");
  ProcessResult result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

}  // namespace
}  // namespace efi::test_support

#else  // _WIN32
#include <windows.h>

#include <stdexcept>

namespace efi::test_support {
namespace {

std::string without_cr_before_lf(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::wstring wide(const std::string& utf8) { return path_of(utf8).wstring(); }

// One argument quoted the way CommandLineToArgvW and the C runtime undo it.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

HANDLE inheritable_file(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

ProcessResult run(const std::string& program_path, const std::vector<std::string>& arguments,
                  const std::filesystem::path& working_folder, RunAs) {
  ScratchFolder capture("efload-output");
  const std::filesystem::path out_path = capture.folder() / "stdout";
  const std::filesystem::path err_path = capture.folder() / "stderr";
  const std::wstring program = wide(program_path);
  std::wstring command_line = quoted(program);
  for (const std::string& arg : arguments) command_line += L" " + quoted(wide(arg));

  ProcessResult result;
  {
    Handle out(inheritable_file(out_path.wstring()));
    Handle err(inheritable_file(err_path.wstring()));
    if (out.get() == INVALID_HANDLE_VALUE || err.get() == INVALID_HANDLE_VALUE) {
      throw std::runtime_error("starting efload: cannot create the output files");
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION process{};
    const std::wstring folder = working_folder.wstring();
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        folder.c_str(), &startup, &process)) {
      throw std::runtime_error("starting efload: CreateProcessW failed with error " +
                               std::to_string(GetLastError()));
    }
    Handle thread(process.hThread);
    Handle child(process.hProcess);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(child.get(), &code);
    result.exit_code = static_cast<int>(code);
  }
  // The C runtime writes text mode: line breaks come out as CR LF.
  result.out = without_cr_before_lf(read_file(utf8_of(out_path)));
  result.err = without_cr_before_lf(read_file(utf8_of(err_path)));
  return result;
}

}  // namespace
}  // namespace efi::test_support
#endif

namespace efi::test_support {

std::string efload_path() { return native_path(EFLOAD_PATH); }

ProcessResult run_efload(const std::vector<std::string>& arguments,
                         const std::filesystem::path& working_folder, RunAs run_as) {
  return run(efload_path(), arguments, working_folder, run_as);
}

ProcessResult run_efload_copy(const std::string& program, const std::vector<std::string>& arguments,
                              const std::filesystem::path& working_folder) {
  return run(program, arguments, working_folder, RunAs::caller);
}

}  // namespace efi::test_support
