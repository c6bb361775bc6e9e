#include "main/hotkey.h"

#include <array>
#include <charconv>

#include <nlohmann/json.hpp>

#include "main/text.h"

namespace kesu::shell {

namespace {

struct Name {
  std::string_view name;
  std::uint16_t vk;
};

constexpr std::array kModifiers{
    Name{"SHIFT", 0xA0}, Name{"LSHIFT", 0xA0}, Name{"SHIFT_L", 0xA0},
    Name{"RSHIFT", 0xA1}, Name{"SHIFT_R", 0xA1},
    Name{"CTRL", 0xA2}, Name{"CONTROL", 0xA2}, Name{"LCTRL", 0xA2}, Name{"CTRL_L", 0xA2},
    Name{"LEFT_CTRL", 0xA2},
    Name{"RCTRL", 0xA3}, Name{"CTRL_R", 0xA3}, Name{"RIGHT_CTRL", 0xA3},
    Name{"ALT", 0xA4}, Name{"LALT", 0xA4}, Name{"ALT_L", 0xA4}, Name{"LEFT_ALT", 0xA4},
    Name{"OPTION", 0xA4}, Name{"OPTION_L", 0xA4},
    Name{"RALT", 0xA5}, Name{"ALT_R", 0xA5}, Name{"RIGHT_ALT", 0xA5}, Name{"OPTION_R", 0xA5},
    Name{"RIGHT_OPTION", 0xA5},
    Name{"WIN", 0x5B}, Name{"CMD", 0x5B}, Name{"LWIN", 0x5B}, Name{"META", 0x5B},
    Name{"WIN_L", 0x5B},
    Name{"RWIN", 0x5C}, Name{"WIN_R", 0x5C}, Name{"CMD_R", 0x5C},
};

constexpr std::array kOrdinary{
    Name{"SPACE", 0x20}, Name{"ENTER", 0x0D}, Name{"RETURN", 0x0D}, Name{"TAB", 0x09},
    Name{"ESC", 0x1B},   Name{"ESCAPE", 0x1B}, Name{"BACKSPACE", 0x08}, Name{"UP", 0x26},
    Name{"DOWN", 0x28},  Name{"LEFT", 0x25},  Name{"RIGHT", 0x27},
};

template <std::size_t N>
std::optional<std::uint16_t> find(const std::array<Name, N>& table, std::string_view name) {
  for (const Name& n : table) {
    if (n.name == name) return n.vk;
  }
  return std::nullopt;
}

std::optional<std::uint16_t> ordinary_key(std::string_view part) {
  if (auto vk = find(kOrdinary, part)) return vk;
  if (part.size() > 1 && part[0] == 'F') {
    const std::string_view digits = part.substr(1);
    unsigned n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec == std::errc() && end == digits.data() + digits.size() && n >= 1 && n <= 20) {
      return static_cast<std::uint16_t>(n + 0x6F);
    }
    return std::nullopt;
  }
  if (part.size() == 1 && ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= '0' && part[0] <= '9'))) {
    return static_cast<std::uint16_t>(part[0]);
  }
  return std::nullopt;
}

bool is_lr_modifier(std::uint16_t vk) { return vk >= 0xA0 && vk <= 0xA5; }
bool is_win(std::uint16_t vk) { return vk == 0x5B || vk == 0x5C; }

}  // namespace

std::optional<HotkeySpec> parse_hotkey(std::string_view text) {
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t plus = text.find('+', start);
    const std::string_view part = trim(text.substr(start, plus == std::string_view::npos
                                                              ? std::string_view::npos
                                                              : plus - start));
    if (part.empty()) return std::nullopt;
    parts.push_back(ascii_upper(part));
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }

  HotkeySpec spec;
  spec.raw = std::string(text);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    if (auto vk = find(kModifiers, parts[i])) {
      if (last) {
        spec.main_kind = MainKind::Modifier;
        spec.main_key = *vk;
      } else {
        spec.modifiers.push_back(*vk);
      }
    } else if (auto key = ordinary_key(parts[i]); key && last) {
      spec.main_kind = MainKind::Ordinary;
      spec.main_key = *key;
    } else {
      return std::nullopt;
    }
  }
  return spec;
}

bool hotkey_matches(const HotkeySpec& spec, std::uint16_t vk, bool is_release,
                    const KeyDownFn& is_down) {
  bool main_hit;
  if (spec.main_kind == MainKind::Ordinary) {
    main_hit = vk == spec.main_key;
  } else if (is_lr_modifier(spec.main_key)) {
    // Either side of the same modifier: "ALT_R" also answers to the left Alt key.
    main_hit = (vk & ~1u) == (spec.main_key & ~1u);
  } else if (is_win(spec.main_key)) {
    main_hit = is_win(vk);
  } else {
    main_hit = vk == spec.main_key;
  }
  if (!main_hit) return false;
  if (is_release || spec.modifiers.empty()) return true;
  for (std::uint16_t m : spec.modifiers) {
    bool held;
    if (is_lr_modifier(m)) {
      const std::uint16_t left = static_cast<std::uint16_t>(m & ~1u);
      held = is_down(left) || is_down(static_cast<std::uint16_t>(left + 1));
    } else if (is_win(m)) {
      held = is_down(0x5B) || is_down(0x5C);
    } else {
      held = is_down(m);
    }
    if (!held) return false;
  }
  return true;
}

std::string hotkey_display_name(std::string_view text) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kWhole{{
      {"RALT", "右 Alt"}, {"RIGHT_ALT", "右 Alt"}, {"ALT_R", "右 Alt"},
      {"LALT", "左 Alt"}, {"LEFT_ALT", "左 Alt"}, {"ALT_L", "左 Alt"},
      {"CTRL_R", "右 Ctrl"}, {"CTRL_L", "左 Ctrl"}, {"SHIFT_R", "右 Shift"}, {"SHIFT_L", "左 Shift"},
  }};
  for (const auto& [name, shown] : kWhole) {
    if (text == name) return std::string(shown);
  }
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kParts{{
      {"ALT", "Alt"}, {"CTRL", "Ctrl"}, {"SHIFT", "Shift"}, {"WIN", "Win"}, {"ESC", "Esc"},
      {"SPACE", "空格"},
  }};
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t plus = text.find('+', start);
    std::string_view part = text.substr(start, plus == std::string_view::npos ? std::string_view::npos
                                                                               : plus - start);
    for (const auto& [name, shown] : kParts) {
      if (part == name) {
        part = shown;
        break;
      }
    }
    out += part;
    if (plus == std::string_view::npos) break;
    out += '+';
    start = plus + 1;
  }
  return out;
}

LoadedHotkey load_push_to_talk(std::string_view config_json,
                               const std::function<void(std::string_view)>& warn) {
  LoadedHotkey loaded;
  loaded.configured = std::string(kDefaultHotkey);
  const auto json = nlohmann::json::parse(config_json, nullptr, false);
  if (json.is_object()) {
    const auto it = json.find("hotkey");
    if (it != json.end() && it->is_string()) loaded.configured = it->get<std::string>();
  }
  if (auto spec = parse_hotkey(loaded.configured)) {
    loaded.spec = std::move(*spec);
    return loaded;
  }
  warn("[kesu] 热键写法无法解析：" + loaded.configured + "，退回 ALT_R");
  loaded.spec = *parse_hotkey(kDefaultHotkey);
  loaded.unparsable = true;
  loaded.report_to_user = !is_blank(loaded.configured);
  return loaded;
}

void HotkeyHolder::set(HotkeySpec spec) {
  std::lock_guard lock(mu_);
  spec_ = std::move(spec);
}

std::optional<HotkeySpec> HotkeyHolder::get() const {
  std::lock_guard lock(mu_);
  return spec_;
}

std::string HotkeyHolder::display_name() const {
  std::lock_guard lock(mu_);
  return hotkey_display_name(spec_ ? spec_->raw : std::string(kDefaultHotkey));
}

}  // namespace kesu::shell
