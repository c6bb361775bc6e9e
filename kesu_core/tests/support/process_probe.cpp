// A child program for the process tests. Each argument is one step:
//   out:TEXT  TEXT and a line feed on standard output     err:TEXT  the same on standard error
//   sleep:MS  waits                                       exit:N    ends with exit code N
//   errpid    its process id on standard error
//   orphan:FILE  (Windows) starts itself with "errpid sleep:60000", error output into FILE,
//             waits until the id is there and ends at once, leaving that child behind
// Without a step it prints every argument on its own line (to check argument quoting).

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "models/process.h"
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

#ifdef _WIN32
void orphan(const std::string& err_file) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::u8string u8 = std::filesystem::path(self).u8string();
  std::string error;
  auto child = kesu::ChildProcess::start(
      {std::string(u8.begin(), u8.end()), "errpid", "sleep:60000"}, err_file, error);
  if (!child) ExitProcess(2);
  for (int i = 0; i < 500 && std::filesystem::file_size(err_file) == 0; ++i) Sleep(10);
  ExitProcess(0);  // no destructor runs: the child is left to the system
}
#endif

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
#ifdef _WIN32
    } else if (a.starts_with("orphan:")) {
      orphan(value);
#endif
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
