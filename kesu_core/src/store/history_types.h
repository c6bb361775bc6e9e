#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kesu {

// One dictation result or failure as kept in history.json.
struct HistoryEntry {
  std::string id;      // "h" + sequence number
  std::string at;      // local RFC 3339 time
  std::string text;    // empty for failures
  std::string status;  // "pending", "inserted" or "failed"
  std::string app;
  std::uint64_t chars = 0;
  std::uint64_t ms = 0;
  bool retryable = false;
  std::optional<std::uint64_t> latency_ms;

  bool operator==(const HistoryEntry&) const = default;
};

struct DayRecord {
  std::string date;  // "YYYY-MM-DD", equal to its key
  std::uint64_t sessions = 0;
  std::uint64_t chars = 0;
  std::uint64_t speech_ms = 0;

  bool operator==(const DayRecord&) const = default;
};

// Cumulative usage, kept in stats.json.
struct Statistics {
  std::uint64_t sessions = 0;
  std::uint64_t segments = 0;
  std::uint64_t chars = 0;
  std::uint64_t speech_ms = 0;
  std::uint64_t decode_ms = 0;
  std::vector<std::uint64_t> latencies;  // the latest ones, oldest first
  std::string since;
  std::map<std::string, DayRecord> days;  // by date; string order is date order

  bool operator==(const Statistics&) const = default;
};

inline constexpr std::size_t kLatenciesKept = 200;
inline constexpr std::size_t kDaysInView = 30;

}  // namespace kesu
