#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/history_types.h"

#include "util/error.h"

namespace kesu {

// history.json: a compact array, newest first, keys in the file's fixed order (not sorted).
std::string render_history(std::span<const HistoryEntry> entries);

// stats.json: a compact object, keys in the file's fixed order, days by ascending date.
std::string render_stats(const Statistics& stats);

// What could be read from a file that may be damaged. Everything that reads cleanly is kept:
// the entries (or day records, latencies, counters) before a cut or a syntax error, and every
// well-formed one around an entry of the wrong shape. Bytes that are not UTF-8 become U+FFFD.
template <class Content>
struct Salvaged {
  Content content;
  std::size_t skipped = 0;  // entries, day records or values of the wrong shape, left out
  std::optional<Error> damage;  // what was wrong (history_damaged), for the log

  bool intact() const { return !damage.has_value(); }
};

Salvaged<std::vector<HistoryEntry>> salvage_history(std::string_view text);
Salvaged<Statistics> salvage_stats(std::string_view text);

// Strict readers: nullopt unless the whole text reads cleanly.
std::optional<std::vector<HistoryEntry>> parse_history(std::string_view text);
std::optional<Statistics> parse_stats(std::string_view text);

// The sequence number in an entry id: leading "h"s stripped, then an unsigned decimal with an
// optional "+". nullopt for anything else (other letters, signs, overflow).
std::optional<std::uint64_t> history_id_number(std::string_view id);

// {count} alone, or {count, min, p50, p95, max} over the latencies.
nlohmann::json latency_summary(std::vector<std::uint64_t> latencies);

// The statistics as the host sees them (kesu_get_stats, "stats", "history_changed").
nlohmann::json stats_view(const Statistics& stats, std::size_t history_count, bool enabled,
                          const std::string& today);

}  // namespace kesu
