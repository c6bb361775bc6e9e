#include "main/logs.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "main/data_dir.h"
#include "main/platform.h"
#include "main/text.h"

namespace kesu::shell {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_quiet{false};

// Keeps `text` from `pos` on, moved forward past the next line break; without one the cut is
// still moved to a character boundary so the kept text stays valid UTF-8.
std::string tail_from_line(std::string_view text, std::size_t pos) {
  const std::size_t newline = text.find('\n', pos);
  const std::size_t cut =
      newline == std::string_view::npos ? next_char_boundary(text, pos) : newline + 1;
  return std::string(text.substr(cut));
}

std::optional<std::string> read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(buffer).str();
}

void write_file(const fs::path& file, std::string_view content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void shorten_if_needed(const fs::path& file) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec || size <= kMainLogLimit) return;
  const auto content = read_file(file);
  if (!content) return;
  if (auto kept = shortened_main_log(*content)) {
    // Written to a sibling first so a failed write leaves the old log in place.
    fs::path temp = file;
    temp += ".tmp";
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out.write(kept->data(), static_cast<std::streamsize>(kept->size()));
      if (!out) {
        fs::remove(temp, ec);
        return;
      }
    }
    fs::rename(temp, file, ec);
    if (ec) fs::remove(temp, ec);
  }
}

bool env_set(const char* name) { return platform::env_var(name).has_value(); }

}  // namespace

std::optional<std::string> shortened_main_log(std::string_view content) {
  if (content.size() <= kMainLogLimit) return std::nullopt;
  return tail_from_line(content, content.size() - kMainLogKeep);
}

std::string next_error_log(std::string_view old, std::string_view line) {
  if (old.size() + line.size() <= kErrorLogLimit) return std::string(old) + std::string(line);
  const std::size_t from = old.size() > kErrorLogKeep ? old.size() - kErrorLogKeep : 0;
  return tail_from_line(old, from) + std::string(line);
}

std::string error_log_message(std::string_view message) {
  return cut_chars(first_line(message), 120);
}

std::string utc8_stamp(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  auto secs = duration_cast<seconds>(when.time_since_epoch()).count();
  if (secs < 0) secs = 0;
  secs += 8 * 3600;
  const auto day_point = sys_days{days{secs / 86400}};
  const year_month_day ymd{day_point};
  const long rest = static_cast<long>(secs % 86400);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02u%02u-%02ld%02ld%02ld", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), rest / 3600,
                rest / 60 % 60, rest % 60);
  return buf;
}

void append_line(const fs::path& file, std::string_view text) {
  std::ofstream out(file, std::ios::binary | std::ios::app);
  if (!out) return;
  std::string line(text);
  line += '\n';
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void append_main_log(const fs::path& dir, std::string_view text) {
  const fs::path file = dir / "kesu-cli.log";
  shorten_if_needed(file);
  append_line(file, text);
}

void append_trace(const fs::path& dir, std::string_view text) {
  append_line(dir / "kesu-cli.log", "[trace] " + std::string(text));
}

void write_error_log(const fs::path& dir, std::string_view code, std::string_view message,
                     std::chrono::system_clock::time_point when) {
  const fs::path file = dir / "kesu-errors.log";
  const std::string line = utc8_stamp(when) + "\t" + std::string(code) + "\t" +
                           std::string(message) + "\n";
  const std::string old = read_file(file).value_or(std::string());
  write_file(file, next_error_log(old, line));
}

void ErrorList::push(std::string code, std::string message) {
  std::lock_guard lock(mu_);
  entries_.emplace_back(std::move(code), std::move(message));
  if (entries_.size() > kErrorListSize) {
    entries_.erase(entries_.begin(), entries_.end() - static_cast<long>(kErrorListSize));
  }
}

std::vector<std::pair<std::string, std::string>> ErrorList::snapshot() const {
  std::lock_guard lock(mu_);
  return entries_;
}

ErrorList& recent_errors() {
  static ErrorList list;
  return list;
}

void log_line(std::string_view text) {
  try {
    platform::write_stdout(std::string(text) + "\n");
    append_main_log(data_dir(), text);
  } catch (...) {
    // Logging never fails its caller.
  }
}

bool trace_on() { return env_set("KESU_TRACE"); }

void trace(std::string_view text) {
  if (!trace_on()) return;
  try {
    platform::write_stderr("[kesu][trace] " + std::string(text) + "\n");
    append_trace(data_dir(), text);
  } catch (...) {
  }
}

bool raw_debug_on() { return env_set("KESU_RAW_DEBUG"); }

void raw_debug(std::string_view text) {
  if (!raw_debug_on()) return;
  try {
    append_line(data_dir() / "raw.log", text);
  } catch (...) {
  }
}

void log_core_error(std::string_view code, std::string_view message) {
  try {
    std::string logged = error_log_message(message);
    recent_errors().push(std::string(code), logged);
    write_error_log(data_dir(), code, logged, std::chrono::system_clock::now());
  } catch (...) {
  }
}

void append_event_log(std::string_view event) {
  try {
    append_line(data_dir() / "kesu-events.log", event);
  } catch (...) {
  }
}

void stderr_line(std::string_view text) {
  try {
    platform::write_stderr(std::string(text) + "\n");
  } catch (...) {
  }
}

void show_warning(std::string_view text) {
  if (quiet_mode()) {
    stderr_line("[kesu][quiet] " + std::string(text));
    return;
  }
  try {
    platform::warning_box(text);
  } catch (...) {
  }
}

void set_quiet_mode(bool on) { g_quiet.store(on); }
bool quiet_mode() { return g_quiet.load(); }

}  // namespace kesu::shell
