#include "store/history_format.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kesu {
namespace {

using Ordered = nlohmann::ordered_json;
using Json = nlohmann::json;

// Text from the worker is valid UTF-8; the replacement handler only keeps a stray bad byte from
// turning a history write into an exception.
std::string compact(const Ordered& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Ordered entry_object(const HistoryEntry& e) {
  Ordered o = Ordered::object();
  o["id"] = e.id;
  o["at"] = e.at;
  o["text"] = e.text;
  o["status"] = e.status;
  o["app"] = e.app;
  o["chars"] = e.chars;
  o["ms"] = e.ms;
  o["retryable"] = e.retryable;
  o["latency_ms"] = e.latency_ms ? Ordered(*e.latency_ms) : Ordered(nullptr);
  return o;
}

// Typed member readers: false when the member is missing or of another type.
bool read(const Json& o, const char* key, std::string& out) {
  auto it = o.find(key);
  if (it == o.end() || !it->is_string()) return false;
  out = it->get<std::string>();
  return true;
}

bool read(const Json& o, const char* key, std::uint64_t& out) {
  auto it = o.find(key);
  if (it == o.end() || !it->is_number_unsigned()) return false;
  out = it->get<std::uint64_t>();
  return true;
}

bool read(const Json& o, const char* key, bool& out) {
  auto it = o.find(key);
  if (it == o.end() || !it->is_boolean()) return false;
  out = it->get<bool>();
  return true;
}

std::optional<HistoryEntry> entry_from(const Json& o) {
  if (!o.is_object()) return std::nullopt;
  HistoryEntry e;
  if (!read(o, "id", e.id) || !read(o, "at", e.at) || !read(o, "text", e.text) ||
      !read(o, "status", e.status) || !read(o, "app", e.app) || !read(o, "chars", e.chars) ||
      !read(o, "ms", e.ms) || !read(o, "retryable", e.retryable)) {
    return std::nullopt;
  }
  auto latency = o.find("latency_ms");
  if (latency != o.end() && !latency->is_null()) {
    if (!latency->is_number_unsigned()) return std::nullopt;
    e.latency_ms = latency->get<std::uint64_t>();
  }
  return e;
}

std::optional<DayRecord> day_from(const Json& o) {
  DayRecord d;
  if (!o.is_object() || !read(o, "date", d.date) || !read(o, "sessions", d.sessions) ||
      !read(o, "chars", d.chars) || !read(o, "speech_ms", d.speech_ms)) {
    return std::nullopt;
  }
  return d;
}

Json day_view(const DayRecord& d) {
  return {{"date", d.date}, {"sessions", d.sessions}, {"chars", d.chars}, {"speech_ms", d.speech_ms}};
}

}  // namespace

std::string render_history(std::span<const HistoryEntry> entries) {
  Ordered array = Ordered::array();
  for (const HistoryEntry& e : entries) array.push_back(entry_object(e));
  return compact(array);
}

std::optional<std::vector<HistoryEntry>> parse_history(std::string_view text) {
  const Json root = Json::parse(text, nullptr, false);
  if (!root.is_array()) return std::nullopt;
  std::vector<HistoryEntry> entries;
  entries.reserve(root.size());
  for (const Json& item : root) {
    std::optional<HistoryEntry> e = entry_from(item);
    if (!e) return std::nullopt;
    entries.push_back(std::move(*e));
  }
  return entries;
}

std::string render_stats(const Statistics& s) {
  Ordered o = Ordered::object();
  o["sessions"] = s.sessions;
  o["segments"] = s.segments;
  o["chars"] = s.chars;
  o["speech_ms"] = s.speech_ms;
  o["decode_ms"] = s.decode_ms;
  o["latencies"] = s.latencies;
  o["since"] = s.since;
  Ordered days = Ordered::object();
  for (const auto& [date, d] : s.days) {
    Ordered day = Ordered::object();
    day["date"] = d.date;
    day["sessions"] = d.sessions;
    day["chars"] = d.chars;
    day["speech_ms"] = d.speech_ms;
    days[date] = std::move(day);
  }
  o["days"] = std::move(days);
  return compact(o);
}

std::optional<Statistics> parse_stats(std::string_view text) {
  const Json root = Json::parse(text, nullptr, false);
  if (!root.is_object()) return std::nullopt;
  Statistics s;
  if (!read(root, "sessions", s.sessions) || !read(root, "segments", s.segments) ||
      !read(root, "chars", s.chars) || !read(root, "speech_ms", s.speech_ms) ||
      !read(root, "decode_ms", s.decode_ms) || !read(root, "since", s.since)) {
    return std::nullopt;
  }
  auto latencies = root.find("latencies");
  if (latencies == root.end() || !latencies->is_array()) return std::nullopt;
  for (const Json& v : *latencies) {
    if (!v.is_number_unsigned()) return std::nullopt;
    s.latencies.push_back(v.get<std::uint64_t>());
  }
  auto days = root.find("days");
  if (days == root.end() || !days->is_object()) return std::nullopt;
  for (const auto& [date, value] : days->items()) {
    std::optional<DayRecord> d = day_from(value);
    if (!d) return std::nullopt;
    s.days[date] = std::move(*d);
  }
  return s;
}

std::optional<std::uint64_t> history_id_number(std::string_view id) {
  std::size_t i = 0;
  while (i < id.size() && id[i] == 'h') ++i;
  if (i < id.size() && id[i] == '+') ++i;
  if (i == id.size()) return std::nullopt;
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (; i < id.size(); ++i) {
    const char c = id[i];
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  // A number with no successor could only lead to a repeated id.
  if (value == kMax) return std::nullopt;
  return value;
}

Json latency_summary(std::vector<std::uint64_t> latencies) {
  const std::size_t n = latencies.size();
  if (n == 0) return {{"count", 0}};
  std::sort(latencies.begin(), latencies.end());
  // std::round rounds halves away from zero: with four values p50 is s[2].
  auto index = [n](double q) {
    return std::min(static_cast<std::size_t>(std::round(static_cast<double>(n - 1) * q)), n - 1);
  };
  return {{"count", n},
          {"min", latencies.front()},
          {"p50", latencies[index(0.5)]},
          {"p95", latencies[index(0.95)]},
          {"max", latencies.back()}};
}

Json stats_view(const Statistics& s, std::size_t history_count, bool enabled,
                const std::string& today) {
  Json days = Json::array();
  for (auto it = s.days.rbegin(); it != s.days.rend() && days.size() < kDaysInView; ++it) {
    days.push_back(day_view(it->second));
  }
  auto found = s.days.find(today);
  const DayRecord today_record = found != s.days.end() ? found->second : DayRecord{today, 0, 0, 0};
  return {{"chars", s.chars},
          {"days", std::move(days)},
          {"decode_ms", s.decode_ms},
          {"history_count", enabled ? history_count : 0},
          {"history_enabled", enabled},
          {"latency", latency_summary(s.latencies)},
          {"segments", s.segments},
          {"sessions", s.sessions},
          {"since", s.since},
          {"speech_ms", s.speech_ms},
          {"today", day_view(today_record)}};
}

}  // namespace kesu
