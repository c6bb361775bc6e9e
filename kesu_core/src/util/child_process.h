#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kesu {

struct ChildOutcome {
  std::optional<int> exit_code;  // empty when the child could not run, was killed or died
  std::string failure;           // why there is no exit code
};

// Runs `program` with `args` (UTF-8) without a console window and waits at most `timeout`; a
// child still running then is killed. Its standard output is discarded; its standard error is
// ours natively and discarded on Windows, where only a NUL handle is handed down.
ChildOutcome run_child(const std::filesystem::path& program, const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout);

}  // namespace kesu
