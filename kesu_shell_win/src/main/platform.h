#pragma once

// The few operating-system services the platform-free logic needs. Implemented once for Windows
// (platform_win.cpp) and once for the headless Linux build (platform_posix.cpp).

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kesu::shell {

// Looks up an environment variable; unset and not-valid-Unicode both read as absent.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

namespace platform {

std::optional<std::string> env_var(const char* name);
std::optional<std::filesystem::path> executable_path();
// Raw UTF-8 bytes to the standard streams; silently nothing when there is no stream.
void write_stdout(std::string_view bytes);
void write_stderr(std::string_view bytes);
// Modal warning box with the product caption, owned by no window (headless: standard error).
void warning_box(std::string_view text);
// Microphone consent as shown to the user: "允许", "已拒绝" or "未知".
std::string microphone_consent();

}  // namespace platform
}  // namespace kesu::shell
