#include "util/child_process.h"

namespace kesu {

namespace {

// Backslashes are literal except in front of a quote, where each pair becomes one and an odd
// one escapes the quote; so only runs before a quote (or the closing quote) are doubled. The
// bytes checked are all ASCII, which never occur inside a multi-byte UTF-8 sequence.
void append_quoted(std::string& line, const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    line += arg;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

}  // namespace

std::string windows_command_line(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& arg : argv) {
    if (!line.empty()) line += ' ';
    append_quoted(line, arg);
  }
  return line;
}

ChildResult run_captured(std::vector<std::string> argv, const std::atomic<bool>* cancel) {
  ChildSpec spec;
  spec.argv = std::move(argv);
  spec.out = ChildSpec::Output::capture;
  spec.err = ChildSpec::Output::capture;
  spec.cancel = cancel;
  return run_child(spec);
}

}  // namespace kesu
