// A child program for the process tests. Each argument is one step:
//   out:TEXT  TEXT and a line feed on standard output     err:TEXT  the same on standard error
//   sleep:MS  waits                                       exit:N    ends with exit code N
//   errpid    its process id on standard error             pid:FILE  its process id into FILE
//   orphan:FILE  starts itself with "errpid sleep:60000", error output into FILE, waits until
//             the id is there and ends at once, leaving that child to the system
// Without a step it prints every argument on its own line (to check argument quoting).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "util/child_process.h"
#include "util/paths.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

unsigned long process_id() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

std::filesystem::path own_path() {
#ifdef _WIN32
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return self;
#else
  return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

[[noreturn]] void end_at_once(int code) {
#ifdef _WIN32
  ExitProcess(static_cast<UINT>(code));
#else
  _exit(code);
#endif
}

// Written under another name first, so a reader never sees half a number.
void write_pid(const std::string& file) {
  const std::filesystem::path target = kesu::path_from_utf8(file);
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  std::ofstream(temporary) << process_id() << '\n';
  std::filesystem::rename(temporary, target);
}

void orphan(const std::string& err_file) {
  kesu::ChildSpec spec;
  spec.argv = {kesu::path_to_utf8(own_path()), "errpid", "sleep:60000"};
  spec.err = kesu::ChildSpec::Output::to_file;
  spec.err_file = kesu::path_from_utf8(err_file);
  const auto child = kesu::ChildProcess::start(spec);
  if (!child.ok()) end_at_once(2);
  for (int i = 0; i < 500 && std::filesystem::file_size(spec.err_file) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  end_at_once(0);  // no destructor runs: the child is left to the system
}

int run(const std::vector<std::string>& args) {
  bool any_step = false;
  for (const std::string& a : args) {
    const std::string value = a.substr(a.find(':') + 1);
    if (a.starts_with("out:") || a.starts_with("err:")) {
      std::FILE* stream = a.starts_with("out:") ? stdout : stderr;
      std::fwrite(value.data(), 1, value.size(), stream);
      std::fputc('\n', stream);
      std::fflush(stream);
    } else if (a.starts_with("sleep:")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(value)));
    } else if (a.starts_with("exit:")) {
      return std::stoi(value);
    } else if (a == "errpid") {
      std::fprintf(stderr, "%lu\n", static_cast<unsigned long>(process_id()));
      std::fflush(stderr);
    } else if (a.starts_with("pid:")) {
      write_pid(value);
    } else if (a.starts_with("orphan:")) {
      orphan(value);
    } else {
      continue;
    }
    any_step = true;
  }
  if (!any_step) {
    for (const std::string& a : args) {
      std::fwrite(a.data(), 1, a.size(), stdout);
      std::fputc('\n', stdout);
    }
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, s.data(), n, nullptr, nullptr);
    args.push_back(s);
  }
  return run(args);
}
#else
int main(int argc, char** argv) { return run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
