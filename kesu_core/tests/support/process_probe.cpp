// A child program for the process tests. Each argument is one step:
//   out:TEXT  TEXT and a line feed on standard output     err:TEXT  the same on standard error
//   sleep:MS  waits                                       exit:N    ends with exit code N
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
#endif

namespace {

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
