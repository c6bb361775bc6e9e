#include "config/config_rules.h"

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
