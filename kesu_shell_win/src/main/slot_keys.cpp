#include "main/slot_keys.h"

#include <nlohmann/json.hpp>

#include "main/json_members.h"
#include "main/text.h"

namespace kesu::shell {

using Json = nlohmann::json;

namespace {

bool has_combination_modifier(const HotkeySpec& spec) {
  for (std::uint16_t m : spec.modifiers) {
    if (m >= 0xA0 && m <= 0xA5) return true;
  }
  return false;
}

}  // namespace

std::vector<SlotKey> parse_slot_keys(std::string_view profiles_json,
                                     const std::function<void(std::string_view)>& warn) {
  std::vector<SlotKey> keys;
  const Json json = Json::parse(profiles_json, nullptr, false);
  if (!json.is_object()) return keys;
  const auto list = json.find("profiles");
  if (list == json.end() || !list->is_array()) return keys;
  for (const Json& p : *list) {
    if (!p.is_object()) continue;
    const std::string name = string_member(p, "name");
    const std::string slot(trim(string_member(p, "slot")));
    if (name.empty() || slot.empty()) continue;
    auto spec = parse_hotkey(slot);
    if (!spec || !has_combination_modifier(*spec)) {
      warn("[kesu] 档「" + name + "」的快捷键槽 " + slot + " 不是组合键，已忽略");
      continue;
    }
    keys.push_back({name, string_member(p, "icon"), std::move(*spec)});
  }
  return keys;
}

void SlotKeyList::set(std::vector<SlotKey> keys) {
  std::lock_guard lock(mu_);
  keys_ = std::move(keys);
}

std::vector<SlotKey> SlotKeyList::get() const {
  std::lock_guard lock(mu_);
  return keys_;
}

}  // namespace kesu::shell
