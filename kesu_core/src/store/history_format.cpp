#include "store/history_format.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "util/utf8.h"

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

// What went wrong while reading a file, in the order found.
class Damage {
 public:
  void note(std::string what) {
    if (!text_.empty()) text_ += "；";
    text_ += std::move(what);
  }
  // Nothing when the file read whole; the findings in order otherwise.
  std::optional<Error> error() const {
    if (text_.empty()) return std::nullopt;
    return Error{ErrorCode::history_damaged, text_};
  }

 private:
  std::string text_;
};

// Builds the value tree event by event, so that when the text breaks off (a cut file, a syntax
// error) everything completed before the break is still there; a container open at the break is
// kept with the members it had. Iterative, so deep nesting cannot exhaust the stack.
class PrefixBuilder {
 public:
  using string_t = Json::string_t;

  bool null() { return add(nullptr); }
  bool boolean(bool v) { return add(v); }
  bool number_integer(Json::number_integer_t v) { return add(v); }
  bool number_unsigned(Json::number_unsigned_t v) { return add(v); }
  bool number_float(Json::number_float_t v, const string_t&) { return add(v); }
  bool string(string_t& v) { return add(std::move(v)); }
  bool binary(Json::binary_t&) { return false; }  // not produced by the JSON parser
  bool start_object(std::size_t) { return open(Json::object()); }
  bool start_array(std::size_t) { return open(Json::array()); }
  bool key(string_t& k) {
    key_ = std::move(k);
    return true;
  }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
    error_ = e.what();
    return false;
  }

  Json& root() { return root_; }
  const std::string& error() const { return error_; }

 private:
  // Where the next value goes: the root, the end of the open array, or the open object's key.
  Json* place() {
    if (open_.empty()) return &root_;
    Json& top = *open_.back();
    if (top.is_array()) {
      top.push_back(nullptr);
      return &top.back();
    }
    return &top[key_];
  }
  template <class V>
  bool add(V&& v) {
    *place() = Json(std::forward<V>(v));
    return true;
  }
  bool open(Json empty) {
    Json* slot = place();
    *slot = std::move(empty);
    open_.push_back(slot);  // parents never grow while a child is open, so this stays valid
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  Json root_ = Json(Json::value_t::discarded);
  std::vector<Json*> open_;
  string_t key_;
  std::string error_;
};

// The longest readable beginning of a JSON text; `discarded` when not even a value starts.
Json read_prefix(std::string_view text, Damage& damage) {
  std::string repaired;
  if (!is_valid_utf8(text)) {
    // One stray byte inside a string would stop the parser: mark it and read on.
    repaired = utf8_lossy(text);
    text = repaired;
    damage.note("含非 UTF-8 字节（已换成 U+FFFD）");
  }
  PrefixBuilder builder;
  if (!Json::sax_parse(text, &builder)) {
    damage.note(text.empty() ? std::string("文件是空的") : "读到一半读不下去：" + builder.error());
  }
  return std::move(builder.root());
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

Salvaged<std::vector<HistoryEntry>> salvage_history(std::string_view text) {
  Salvaged<std::vector<HistoryEntry>> out;
  Damage damage;
  const Json root = read_prefix(text, damage);
  if (root.is_array()) {
    out.content.reserve(root.size());
    for (const Json& item : root) {
      if (std::optional<HistoryEntry> e = entry_from(item)) {
        out.content.push_back(std::move(*e));
      } else {
        ++out.skipped;
      }
    }
  } else if (!root.is_discarded()) {
    damage.note("不是 JSON 数组");
  }
  if (out.skipped > 0) damage.note(std::to_string(out.skipped) + " 条记录格式不对，已跳过");
  out.damage = damage.error();
  return out;
}

Salvaged<Statistics> salvage_stats(std::string_view text) {
  Salvaged<Statistics> out;
  Damage damage;
  const Json root = read_prefix(text, damage);
  if (!root.is_object()) {
    if (!root.is_discarded()) damage.note("不是 JSON 对象");
    out.damage = damage.error();
    return out;
  }
  Statistics& s = out.content;
  for (auto [key, field] : {std::pair{"sessions", &s.sessions}, std::pair{"segments", &s.segments},
                            std::pair{"chars", &s.chars}, std::pair{"speech_ms", &s.speech_ms},
                            std::pair{"decode_ms", &s.decode_ms}}) {
    if (!read(root, key, *field)) ++out.skipped;
  }
  if (!read(root, "since", s.since)) ++out.skipped;
  if (auto latencies = root.find("latencies"); latencies != root.end() && latencies->is_array()) {
    for (const Json& v : *latencies) {
      if (v.is_number_unsigned()) {
        s.latencies.push_back(v.get<std::uint64_t>());
      } else {
        ++out.skipped;
      }
    }
  } else {
    ++out.skipped;
  }
  if (auto days = root.find("days"); days != root.end() && days->is_object()) {
    for (const auto& [date, value] : days->items()) {
      if (std::optional<DayRecord> d = day_from(value)) {
        s.days[date] = std::move(*d);
      } else {
        ++out.skipped;
      }
    }
  } else {
    ++out.skipped;
  }
  if (out.skipped > 0) damage.note(std::to_string(out.skipped) + " 项格式不对，已跳过");
  out.damage = damage.error();
  return out;
}

std::optional<std::vector<HistoryEntry>> parse_history(std::string_view text) {
  auto salvaged = salvage_history(text);
  if (!salvaged.intact()) return std::nullopt;
  return std::move(salvaged.content);
}

std::optional<Statistics> parse_stats(std::string_view text) {
  auto salvaged = salvage_stats(text);
  if (!salvaged.intact()) return std::nullopt;
  return std::move(salvaged.content);
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
