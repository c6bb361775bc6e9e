#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/history_types.h"

namespace kesu {

// What a finished dictation contributes to the history and the statistics.
struct DictationRecord {
  std::string text;
  std::string app;
  std::uint64_t speech_ms = 0;
  std::uint64_t decode_ms = 0;
  std::uint64_t segments = 0;
  std::optional<std::uint64_t> latency_ms;
};

// The contents of history.json and stats.json as read at an open.
struct HistoryFiles {
  std::vector<HistoryEntry> entries;  // newest first, at most `limit`
  Statistics stats;
  std::uint64_t next_number = 1;
  // The original bytes of a damaged file whose backup could not be made; that file must not be
  // replaced until they are kept somewhere.
  std::optional<std::string> history_unsaved;
  std::optional<std::string> stats_unsaved;
};

// Reads both files from `dir`, keeping whatever reads cleanly. A damaged file (cut short, bad
// bytes, entries of the wrong shape) is first copied aside byte for byte (history.json.broken,
// stats.json.broken, numbered when an earlier different copy exists).
HistoryFiles open_history_files(const std::filesystem::path& dir, std::size_t limit,
                                const std::string& today);

// The history and the statistics, shared by the exports and the worker. One lock guards all of
// it for whole operations, file writes included, so the files always follow the memory in order.
// Write failures are logged and otherwise ignored: memory stays right and the next write catches
// up.
class HistoryStore {
 public:
  using Clock = std::function<std::time_t()>;

  HistoryStore(std::filesystem::path dir, bool enabled, std::int64_t limit, Clock clock = {});

  // Re-reads the files when the on/off setting changed; a new limit alone waits for the next open.
  void apply_settings(bool enabled, std::int64_t limit);

  // Worker operations. Each returns the new entry's id, also when the entry is not kept (history
  // off or limit 0).
  std::string record_result(const DictationRecord& result);
  std::string record_failure(std::string app, std::uint64_t ms, bool retryable);
  void set_status(std::string_view id, std::string_view status);

  // Export operations. remove and clear return the statistics view for "history_changed", to be
  // emitted by the caller once the lock is released; remove returns nullopt when no entry had
  // the id.
  std::optional<nlohmann::json> remove(std::string_view id);
  nlohmann::json clear();
  // history.json form of the newest min(count, limit) entries; "[]" when history is off.
  std::string newest_json(int count) const;
  nlohmann::json stats() const;

 private:
  void open_locked(bool enabled, std::int64_t limit);
  void insert_locked(HistoryEntry entry);
  void write_history_locked();
  void write_stats_locked();
  std::time_t now() const;
  nlohmann::json stats_locked() const;

  const std::filesystem::path dir_;
  const Clock clock_;

  mutable std::mutex mu_;
  std::vector<HistoryEntry> entries_;  // guarded by mu_; newest first
  Statistics stats_;                   // guarded by mu_
  std::size_t limit_ = 0;              // guarded by mu_
  std::uint64_t next_number_ = 1;      // guarded by mu_
  bool enabled_ = true;                // guarded by mu_
  std::optional<std::string> history_unsaved_;  // guarded by mu_; see HistoryFiles
  std::optional<std::string> stats_unsaved_;    // guarded by mu_
};

}  // namespace kesu
