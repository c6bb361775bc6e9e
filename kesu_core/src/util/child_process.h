#pragma once

// External programs (the model checker, curl, tar, reg) started without a console window, with
// standard input from the null device and only the handles meant for them inherited. Arguments
// are passed one by one, never through a shell. Every child is tied to this process: when it
// ends, however abruptly, the child is killed (a job object on Windows, a parent-death signal
// elsewhere), so a download or check never runs on with nobody waiting for it.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "util/error.h"

namespace kesu {

struct ChildSpec {
  enum class Output { discard, capture, to_file };

  std::vector<std::string> argv;  // argv[0] is the program (looked up in PATH); all UTF-8
  Output out = Output::discard;
  Output err = Output::discard;
  // For Output::to_file: created or truncated; when it cannot be opened the output is discarded.
  std::filesystem::path out_file;
  std::filesystem::path err_file;
  std::optional<std::chrono::milliseconds> timeout;  // killed when it runs longer
  const std::atomic<bool>* cancel = nullptr;         // killed soon after this becomes true
};

struct ChildResult {
  enum class End { exited, start_failed, timed_out, cancelled };
  End end = End::exited;
  int exit_code = -1;  // for End::exited; 128 + N when signal N ended it
  int signal = 0;      // the signal that ended it (never on Windows)
  std::string out;     // captured standard output (what arrived before a kill, too)
  std::string err;     // captured standard error
  std::optional<Error> error;  // why it could not be started (End::start_failed)
};

// Runs a child to its end (or its time-out, or its cancellation, which kill it).
ChildResult run_child(const ChildSpec& spec);

// The common case: both outputs captured, killed when `cancel` becomes true.
ChildResult run_captured(std::vector<std::string> argv, const std::atomic<bool>* cancel = nullptr);

// A running child for callers that do their own waiting. Output::capture is not available here
// (nobody would read the pipe); it is treated as discard. Destroying a child that still runs
// kills it and waits for it.
class ChildProcess {
 public:
  struct Impl;

  // Fails with no_program or child_start_failed when the program cannot be started.
  static Result<std::unique_ptr<ChildProcess>> start(const ChildSpec& spec);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The exit code once the child has ended (also after kill), nullopt while it runs. Fails with
  // child_wait_failed when the child's state cannot be read.
  Result<std::optional<int>> poll();
  // Ends the child at once and waits until it is gone.
  void kill();

 private:
  explicit ChildProcess(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The command line that hands `argv` to a Windows program unchanged, quoted by the rules its C
// runtime uses to split the line again.
std::string windows_command_line(const std::vector<std::string>& argv);

// The platform's own copy of a tool: System32\<name>.exe on Windows (so a planted curl.exe in the
// working directory is never picked up), the name looked up in PATH elsewhere.
std::string system_tool(const std::string& name);

// The text of a file-system or system error in UTF-8 (on Windows the system's own wording,
// not the ANSI code page rendering of std::error_code::message).
std::string error_text(const std::error_code& ec);

}  // namespace kesu
