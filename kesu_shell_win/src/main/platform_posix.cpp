// The platform services for the headless Linux build.

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "main/platform.h"
#include "main/text.h"

namespace kesu::shell::platform {

namespace {

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

std::optional<std::string> env_var(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

std::optional<std::filesystem::path> executable_path() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::nullopt;
  return path;
}

void write_stdout(std::string_view bytes) { write_all(STDOUT_FILENO, bytes); }
void write_stderr(std::string_view bytes) { write_all(STDERR_FILENO, bytes); }

void warning_box(std::string_view text) {
  // No desktop to show a box on: the warning goes where a terminal user sees it.
  write_stderr("[kesu][warning] " + std::string(text) + "\n");
}

std::string microphone_consent() { return "未知"; }

}  // namespace kesu::shell::platform
