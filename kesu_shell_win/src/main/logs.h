#pragma once

// The shell's logs. Logging is best effort: no failure here ever reaches the caller.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kesu::shell {

inline constexpr std::size_t kMainLogLimit = 524288;
inline constexpr std::size_t kMainLogKeep = 204800;
inline constexpr std::size_t kErrorLogLimit = 65536;
inline constexpr std::size_t kErrorLogKeep = 32768;
inline constexpr std::size_t kErrorListSize = 20;

// ---- Pure pieces ----

// The tail of `content` to keep when the main log has grown past its limit, starting at a line
// boundary; nullopt when the file may stay as it is.
std::optional<std::string> shortened_main_log(std::string_view content);
// The error log's new content after appending `line` to `old`.
std::string next_error_log(std::string_view old, std::string_view line);
// First line, at most 120 characters.
std::string error_log_message(std::string_view message);
// YYYYMMDD-HHMMSS in UTC+8; times before 1970 count as 1970-01-01 00:00:00 UTC.
std::string utc8_stamp(std::chrono::system_clock::time_point when);

// ---- Files in a given folder ----

void append_main_log(const std::filesystem::path& dir, std::string_view text);
void append_trace(const std::filesystem::path& dir, std::string_view text);
void write_error_log(const std::filesystem::path& dir, std::string_view code,
                     std::string_view message, std::chrono::system_clock::time_point when);
void append_line(const std::filesystem::path& file, std::string_view text);

// The most recent core errors (code, logged message), oldest dropped first.
class ErrorList {
 public:
  void push(std::string code, std::string message);
  std::vector<std::pair<std::string, std::string>> snapshot() const;

 private:
  mutable std::mutex mu_;
  std::vector<std::pair<std::string, std::string>> entries_;  // guarded by mu_
};
ErrorList& recent_errors();

// ---- The process's logging operations (data folder and switches resolved at each call) ----

void log_line(std::string_view text);
bool trace_on();
void trace(std::string_view text);
bool raw_debug_on();
void raw_debug(std::string_view text);
void log_core_error(std::string_view code, std::string_view message);
void append_event_log(std::string_view event);
// Message box, or "[kesu][quiet] …" on standard error in quiet mode.
void show_warning(std::string_view text);
void stderr_line(std::string_view text);

// Quiet mode: set once from the command line, before any other thread exists.
void set_quiet_mode(bool on);
bool quiet_mode();

}  // namespace kesu::shell
