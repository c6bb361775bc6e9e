#pragma once

// External programs (curl, tar, reg) started without a console window. Arguments are passed one
// by one, never through a shell.

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace kesu {

// The platform's own copy of a tool: System32\<name>.exe on Windows (so a planted curl.exe in the
// working directory is never picked up), the name looked up in PATH elsewhere.
std::string system_tool(const std::string& name);

// The text of a file-system or system error in UTF-8 (on Windows the system's own wording,
// not the ANSI code page rendering of std::error_code::message).
std::string error_text(const std::error_code& ec);

// A running child whose standard input and output go to the null device and whose error output
// goes to a file. Destroying a child that still runs kills it and waits for it.
class ChildProcess {
 public:
  struct Impl;

  // `stderr_file` is created or truncated; when it cannot be opened the error output is
  // discarded. Returns nullptr with `error` set when the program cannot be started.
  static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& args,
                                             const std::filesystem::path& stderr_file,
                                             std::string& error);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit code once the child has ended (also after kill), nullopt while it runs. Throws
  // std::system_error when the child's state cannot be read.
  std::optional<int> poll();
  // Ends the child at once and waits until it is gone.
  void kill();

 private:
  explicit ChildProcess(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

struct CapturedRun {
  enum class End { exited, start_failed, cancelled };
  End end = End::exited;
  int exit_code = -1;
  std::string out;    // standard output
  std::string err;    // standard error
  std::string error;  // why it could not be started
};

// Runs a program to its end, capturing both outputs. When `cancel` becomes true the child is
// killed (checked every 120 ms).
CapturedRun run_captured(const std::vector<std::string>& args,
                         const std::atomic<bool>* cancel = nullptr);

}  // namespace kesu
