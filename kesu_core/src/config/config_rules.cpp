#include "config/config_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kesu {

namespace {

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string number_text(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

std::string bracketed(std::string_view text) { return "「" + std::string(text) + "」"; }

}  // namespace

std::string trim(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && is_space(text[begin])) ++begin;
  while (end > begin && is_space(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::optional<std::string> normalise_insert_mode(std::string_view value) {
  const std::string v = ascii_lower(trim(value));
  if (v == "paste" || v == "粘贴") return "paste";
  if (v == "keystroke" || v == "type" || v == "打字" || v == "逐字") return "keystroke";
  return std::nullopt;
}

std::optional<std::string> normalise_polish_level(std::string_view value) {
  const std::string v = ascii_lower(trim(value));
  if (v == "off" || v == "关闭" || v == "关") return "off";
  if (v == "light" || v == "轻度" || v == "轻") return "light";
  if (v == "medium" || v == "中度" || v == "中") return "medium";
  if (v == "strong" || v == "重度" || v == "强" || v == "重") return "strong";
  return std::nullopt;
}

bool is_engine_name(std::string_view name) {
  return name == "sense" || name == "qwen3" || name == "stub";
}

std::string expand_home(std::string value) {
  if (value.size() < 2 || value[0] != '~' || (value[1] != '/' && value[1] != '\\')) return value;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') home = std::getenv("USERPROFILE");
  if (home == nullptr || *home == '\0') return value;
  std::string base = home;
  // Keep one separator between the home directory and the rest.
  if (!base.empty() && (base.back() == '/' || base.back() == '\\')) base.pop_back();
  return base + value.substr(1);
}

std::string insert_mode_for_app(const ConfigRecord& record, std::string_view app) {
  const std::string name = ascii_lower(app);
  const std::string* best = nullptr;
  std::size_t best_len = 0;
  for (const auto& [key, mode] : record.insert_per_app) {
    const std::string k = ascii_lower(key);
    if (k.empty() || name.find(k) == std::string::npos) continue;
    if (best == nullptr || k.size() > best_len) {
      best = &mode;
      best_len = k.size();
    }
  }
  return best ? *best : record.insert_mode;
}

}  // namespace kesu

namespace kesu {

std::vector<ConfigAdjustment> enforce_config_rules(ConfigRecord& r, const ConfigRecord& fallback) {
  std::vector<ConfigAdjustment> changes;
  const auto note = [&](std::string setting, std::string from, std::string to) {
    changes.push_back({std::move(setting), std::move(from), std::move(to)});
  };

  for (const IntRule& rule : kIntRules) {
    std::int64_t& value = r.*rule.field;
    const std::int64_t held = std::clamp(value, rule.min, rule.max);
    if (held == value) continue;
    note(std::string(rule.section) + "." + rule.key, std::to_string(value), std::to_string(held));
    value = held;
  }

  double& threshold = r.audio_voice_lock_threshold;
  const double held = std::isnan(threshold)
                          ? fallback.audio_voice_lock_threshold
                          : std::clamp(threshold, kVoiceLockThresholdMin, kVoiceLockThresholdMax);
  if (held != threshold) {  // also true for NaN
    note("audio.voice_lock_threshold", number_text(threshold), number_text(held));
    threshold = held;
  }

  if (!is_engine_name(r.engine_active)) {
    note("engine.active", bracketed(r.engine_active), bracketed(fallback.engine_active));
    r.engine_active = fallback.engine_active;
  }
  if (auto level = normalise_polish_level(r.polish_level)) {
    r.polish_level = *level;
  } else {
    note("polish.level", bracketed(r.polish_level), bracketed(fallback.polish_level));
    r.polish_level = fallback.polish_level;
  }
  if (auto mode = normalise_insert_mode(r.insert_mode)) {
    r.insert_mode = *mode;
  } else {
    note("insert.mode", bracketed(r.insert_mode), bracketed(fallback.insert_mode));
    r.insert_mode = fallback.insert_mode;
  }
  std::map<std::string, std::string> per_app;
  for (const auto& [app, mode] : r.insert_per_app) {
    if (auto normal = normalise_insert_mode(mode)) {
      per_app[app] = *normal;
    } else {
      note("insert.per_app." + app, bracketed(mode), "（已删除）");
    }
  }
  r.insert_per_app = std::move(per_app);

  r.polish_api_key = trim(r.polish_api_key);
  r.lan_token = trim(r.lan_token);
  for (std::string* path : {&r.models_dir, &r.models_vad, &r.models_qwen3}) {
    *path = expand_home(std::move(*path));
  }
  return changes;
}

std::string describe_adjustments(const std::vector<ConfigAdjustment>& adjustments) {
  std::string text;
  for (const ConfigAdjustment& a : adjustments) {
    if (!text.empty()) text += "；";
    text += a.setting + "：" + a.from + " → " + a.to;
  }
  return text;
}

}  // namespace kesu
