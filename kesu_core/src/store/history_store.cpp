#include "store/history_store.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "store/history_format.h"
#include "store/local_time.h"
#include "util/atomic_file.h"
#include "util/file_backup.h"
#include "util/log.h"
#include "util/paths.h"
#include "util/utf8.h"

namespace kesu {

namespace fs = std::filesystem;

namespace {

// nullopt when the file is missing or cannot be read.
std::optional<std::string> read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

std::size_t to_limit(std::int64_t limit) { return limit < 0 ? 0 : static_cast<std::size_t>(limit); }

// Copies a damaged file's original bytes aside; true when they are kept (then `unsaved` is
// cleared) or there was nothing to keep.
bool keep_original(const fs::path& file, std::optional<std::string>& unsaved) {
  if (!unsaved) return true;
  const Result<fs::path> backup = keep_backup(file, *unsaved);
  if (!backup) {
    log_line("备份 " + path_to_utf8(file.filename()) + " 失败，先不改写它：" +
             user_message(backup.error()));
    return false;
  }
  log_line("原来的 " + path_to_utf8(file.filename()) + " 备份在 " + path_to_utf8(*backup));
  unsaved.reset();
  return true;
}

// Reads one file with `salvage`; a damaged one is reported and its bytes kept aside, or handed
// back in `unsaved` when that failed.
template <class Salvage>
auto read_store_file(const fs::path& file, Salvage salvage, std::optional<std::string>& unsaved) {
  std::optional<std::string> text = read_text(file);
  decltype(salvage(std::string_view())) read;
  if (!text) return read;
  read = salvage(*text);
  if (read.intact()) return read;
  log_line(path_to_utf8(file.filename()) + " 有损坏，只保留读得出的部分：" +
           user_message(*read.damage));
  unsaved = std::move(*text);
  (void)keep_original(file, unsaved);
  return read;
}

// history.json and stats.json are replaced through a sibling .tmp file, never while the
// original bytes of a damaged version are not yet kept aside.
void replace_json_file(const fs::path& dir, const char* name, const char* tmp_name,
                       const std::string& text, std::optional<std::string>& unsaved) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!keep_original(dir / name, unsaved)) return;
  const fs::path tmp = dir / tmp_name;
  // Dictated text is the user's own: other users of the machine may not read it.
  Status written = write_whole_file(tmp, text, FileAccess::owner_only);
  if (written) written = replace_file(tmp, dir / name);
  if (!written) {
    fs::remove(tmp, ec);
    log_line(std::string("写 ") + name + " 失败（已忽略）：" + user_message(written.error()));
  }
}

}  // namespace

HistoryFiles open_history_files(const fs::path& dir, std::size_t limit, const std::string& today) {
  HistoryFiles files;
  std::error_code ec;
  fs::create_directories(dir, ec);
  files.entries =
      read_store_file(dir / "history.json", salvage_history, files.history_unsaved).content;
  files.stats = read_store_file(dir / "stats.json", salvage_stats, files.stats_unsaved).content;
  if (files.stats.since.empty()) files.stats.since = today;
  std::uint64_t largest = 0;
  bool any = false;
  for (const HistoryEntry& e : files.entries) {
    if (auto n = history_id_number(e.id)) {
      largest = any ? std::max(largest, *n) : *n;
      any = true;
    }
  }
  files.next_number = any ? largest + 1 : 1;
  if (files.entries.size() > limit) files.entries.resize(limit);
  return files;
}

HistoryStore::HistoryStore(fs::path dir, bool enabled, std::int64_t limit, Clock clock)
    : dir_(std::move(dir)), clock_(std::move(clock)) {
  std::lock_guard lock(mu_);
  open_locked(enabled, limit);
}

void HistoryStore::apply_settings(bool enabled, std::int64_t limit) {
  std::lock_guard lock(mu_);
  if (enabled != enabled_) open_locked(enabled, limit);
}

void HistoryStore::open_locked(bool enabled, std::int64_t limit) {
  limit_ = to_limit(limit);
  enabled_ = enabled;
  HistoryFiles files = open_history_files(dir_, limit_, local_date(now()));
  entries_ = std::move(files.entries);
  stats_ = std::move(files.stats);
  next_number_ = files.next_number;
  history_unsaved_ = std::move(files.history_unsaved);
  stats_unsaved_ = std::move(files.stats_unsaved);
}

std::string HistoryStore::record_result(const DictationRecord& result) {
  std::lock_guard lock(mu_);
  const std::time_t t = now();
  const std::string id = "h" + std::to_string(next_number_++);
  const std::uint64_t chars = utf8_char_count(result.text);
  const std::string today = local_date(t);

  stats_.sessions += 1;
  stats_.segments += result.segments;
  stats_.chars += chars;
  stats_.speech_ms += result.speech_ms;
  stats_.decode_ms += result.decode_ms;
  DayRecord& day = stats_.days.try_emplace(today, DayRecord{today, 0, 0, 0}).first->second;
  day.sessions += 1;
  day.chars += chars;
  day.speech_ms += result.speech_ms;
  if (result.latency_ms) {
    stats_.latencies.push_back(*result.latency_ms);
    if (stats_.latencies.size() > kLatenciesKept) {
      stats_.latencies.erase(stats_.latencies.begin(),
                             stats_.latencies.end() - static_cast<std::ptrdiff_t>(kLatenciesKept));
    }
  }

  insert_locked(HistoryEntry{id, local_rfc3339(t), result.text, "pending", result.app, chars,
                             result.speech_ms, false, result.latency_ms});
  write_stats_locked();
  return id;
}

std::string HistoryStore::record_failure(std::string app, std::uint64_t ms, bool retryable) {
  std::lock_guard lock(mu_);
  const std::string id = "h" + std::to_string(next_number_++);
  insert_locked(HistoryEntry{id, local_rfc3339(now()), "", "failed", std::move(app), 0, ms,
                             retryable, std::nullopt});
  return id;
}

void HistoryStore::set_status(std::string_view id, std::string_view status) {
  std::lock_guard lock(mu_);
  for (HistoryEntry& e : entries_) {
    if (e.id == id) {
      e.status = std::string(status);
      write_history_locked();
      return;
    }
  }
}

std::optional<nlohmann::json> HistoryStore::remove(std::string_view id) {
  std::lock_guard lock(mu_);
  const std::size_t removed =
      std::erase_if(entries_, [&](const HistoryEntry& e) { return e.id == id; });
  if (removed == 0) return std::nullopt;
  write_history_locked();
  return stats_locked();
}

nlohmann::json HistoryStore::clear() {
  std::lock_guard lock(mu_);
  entries_.clear();
  write_history_locked();
  return stats_locked();
}

std::string HistoryStore::newest_json(int count) const {
  std::lock_guard lock(mu_);
  if (count <= 0 || !enabled_) return "[]";
  const std::size_t n =
      std::min({static_cast<std::size_t>(count), limit_, entries_.size()});
  return render_history(std::span<const HistoryEntry>(entries_.data(), n));
}

nlohmann::json HistoryStore::stats() const {
  std::lock_guard lock(mu_);
  return stats_locked();
}

nlohmann::json HistoryStore::stats_locked() const {
  return stats_view(stats_, entries_.size(), enabled_, local_date(now()));
}

void HistoryStore::insert_locked(HistoryEntry entry) {
  if (!enabled_ || limit_ == 0) return;
  entries_.insert(entries_.begin(), std::move(entry));
  if (entries_.size() > limit_) entries_.pop_back();
  write_history_locked();
}

void HistoryStore::write_history_locked() {
  replace_json_file(dir_, "history.json", "history.tmp", render_history(entries_),
                    history_unsaved_);
}

void HistoryStore::write_stats_locked() {
  replace_json_file(dir_, "stats.json", "stats.tmp", render_stats(stats_), stats_unsaved_);
}

std::time_t HistoryStore::now() const { return clock_ ? clock_() : std::time(nullptr); }

}  // namespace kesu
