#include "keycap/key_capture.h"

#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "main/hotkey.h"
#include "main/virtual_keys.h"

namespace kesu::shell {

namespace {

using Mapping = std::pair<std::string_view, std::string_view>;

template <std::size_t N>
std::optional<std::string_view> look_up(const std::array<Mapping, N>& table, std::string_view key) {
  for (const auto& [from, to] : table) {
    if (from == key) return to;
  }
  return std::nullopt;
}

std::vector<std::string_view> split_plus(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t plus = text.find('+', start);
    if (plus == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, plus - start));
    start = plus + 1;
  }
}

std::string shown_as_key(std::string_view part) {
  static constexpr std::array<Mapping, 8> kKeys{{
      {"UP", "↑"},
      {"DOWN", "↓"},
      {"LEFT", "←"},
      {"RIGHT", "→"},
      {"TAB", "Tab"},
      {"ESC", "Esc"},
      {"SPACE", "空格"},
      {"ENTER", "Enter"},
  }};
  return std::string(look_up(kKeys, part).value_or(part));
}

bool is_down(KeyEvent event) { return event == KeyEvent::down || event == KeyEvent::sys_down; }

// Esc cancels a recording elsewhere, and the keyboard capture never matches F21 and above; a
// value the hotkey notation does not accept would fall back to the default at the next start.
KeyDecision judge(std::string value, unsigned main_vk) {
  const bool never_usable = main_vk == vk::kEscape || (main_vk >= vk::kF21 && main_vk <= vk::kF24);
  if (never_usable || !parse_hotkey(value)) {
    std::string message = "「" + key_display_form(value) + "」不能用，换一个";
    return {KeyDecision::Kind::refused, std::move(value), std::move(message)};
  }
  return {KeyDecision::Kind::recorded, std::move(value), {}};
}

}  // namespace

int keycap_scaled(int units, float scale) {
  return static_cast<int>(std::lround(static_cast<double>(units) * scale));
}

bool is_modifier_key(unsigned vk) {
  return (vk >= 16 && vk <= 18) || vk == 91 || vk == 92 || (vk >= 160 && vk <= 165);
}

std::optional<std::string> key_name(unsigned vk, bool extended, bool right_ctrl_down) {
  switch (vk) {
    case 9:
      return "TAB";
    case 13:
      return "ENTER";
    case 16:
      return "SHIFT";
    case 17:
      return right_ctrl_down ? "CTRL_R" : "CTRL_L";
    case 18:
      return extended ? "ALT_R" : "ALT_L";
    case 27:
      return "ESC";
    case 32:
      return "SPACE";
    case 37:
      return "LEFT";
    case 38:
      return "UP";
    case 39:
      return "RIGHT";
    case 40:
      return "DOWN";
    case 91:
      return "WIN";
    case 92:
      return "WIN_R";
    default:
      break;
  }
  if (vk >= vk::kF1 && vk <= vk::kF24) return "F" + std::to_string(vk - vk::kF1 + 1);
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
    return std::string(1, static_cast<char>(vk));
  }
  return std::nullopt;
}

KeyDecision decide_key(const KeyMessage& message, const ModifierState& modifiers) {
  const unsigned vk = message.vk;
  const bool down = is_down(message.event);
  const KeyDecision keep_waiting{};

  if (is_modifier_key(vk)) {
    // A modifier counts only when it is let go: until then it may be part of a combination.
    if (down) return keep_waiting;
    std::optional<std::string> name;
    if (vk == vk::kLeftWin && modifiers.right_win) {
      name = "WIN+WIN";
    } else {
      // At the release of the right Ctrl the key state already shows it up; its own message
      // carries the extended bit.
      const bool right_ctrl = modifiers.right_ctrl || (vk == vk::kControl && message.extended);
      name = key_name(vk, message.extended, right_ctrl);
    }
    if (!name) return keep_waiting;
    return judge(std::move(*name), vk);
  }

  if (!down) return keep_waiting;
  const std::optional<std::string> name = key_name(vk, message.extended, modifiers.right_ctrl);
  if (!name) return keep_waiting;
  std::string value;
  if (modifiers.ctrl) value += "CTRL+";
  if (modifiers.alt) value += "ALT+";
  if (modifiers.shift) value += "SHIFT+";
  if (modifiers.win) value += "WIN+";
  value += *name;
  return judge(std::move(value), vk);
}

std::string key_display_form(std::string_view value) {
  const std::vector<std::string_view> parts = split_plus(value);
  if (parts.size() == 1) {
    static constexpr std::array<Mapping, 6> kAlone{{
        {"WIN", "Win"},
        {"SHIFT", "Shift"},
        {"CTRL_R", "右 Ctrl"},
        {"CTRL_L", "左 Ctrl"},
        {"ALT_R", "右 Alt"},
        {"ALT_L", "左 Alt"},
    }};
    if (auto shown = look_up(kAlone, parts[0])) return std::string(*shown);
    return shown_as_key(parts[0]);
  }
  static constexpr std::array<Mapping, 8> kPrefixes{{
      {"CTRL", "Ctrl+"},
      {"CTRL_L", "Ctrl+"},
      {"CTRL_R", "Ctrl+"},
      {"ALT", "Alt+"},
      {"ALT_L", "Alt+"},
      {"ALT_R", "Alt+"},
      {"SHIFT", "Shift+"},
      {"WIN", "Win+"},
  }};
  std::string shown;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    // A part that is not a known prefix is left out of the display (the value keeps it).
    shown += look_up(kPrefixes, parts[i]).value_or("");
  }
  return shown + shown_as_key(parts.back());
}

KeyCapCaption key_capture_caption(bool armed, std::string_view value, std::string_view refusal) {
  if (armed && !refusal.empty()) return {std::string(refusal), keycap_colour::kRefusal};
  if (armed) return {std::string(kKeyCapArmedText), keycap_colour::kHint};
  if (value.empty()) return {std::string(kKeyCapEmptyText), keycap_colour::kHint};
  return {key_display_form(value), keycap_colour::kValue};
}

KeyCapBorder key_capture_border(bool focused) {
  return focused ? KeyCapBorder{2, keycap_colour::kFocusBorder}
                 : KeyCapBorder{1, keycap_colour::kBorder};
}

void KeyCapture::focus_gained() {
  armed_ = true;
  refusal_.clear();
  in_combination_ = false;
}

void KeyCapture::focus_lost() {
  armed_ = false;
  refusal_.clear();
  in_combination_ = false;
}

bool KeyCapture::key(const KeyMessage& message, const ModifierState& modifiers) {
  if (!armed_) return false;
  const bool down = is_down(message.event);
  const bool modifier = is_modifier_key(message.vk);
  if (down) refusal_.clear();
  if (!down && modifier && in_combination_) {
    if (!modifiers.any()) in_combination_ = false;
    return false;
  }

  KeyDecision decision = decide_key(message, modifiers);
  switch (decision.kind) {
    case KeyDecision::Kind::recorded:
      value_ = std::move(decision.value);
      armed_ = false;
      in_combination_ = false;
      return true;
    case KeyDecision::Kind::refused:
      refusal_ = std::move(decision.message);
      break;
    case KeyDecision::Kind::keep_waiting:
      break;
  }
  if (down && !modifier) in_combination_ = modifiers.any();
  return false;
}

}  // namespace kesu::shell
