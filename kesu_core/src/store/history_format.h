#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/history_types.h"

namespace kesu {

// history.json: a compact array, newest first, keys in the file's fixed order (not sorted).
std::string render_history(std::span<const HistoryEntry> entries);
// nullopt when the text is not such an array (any entry of the wrong shape spoils the file).
std::optional<std::vector<HistoryEntry>> parse_history(std::string_view text);

// stats.json: a compact object, keys in the file's fixed order, days by ascending date.
std::string render_stats(const Statistics& stats);
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
