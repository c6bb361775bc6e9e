#pragma once

// Hotkey notation: "ALT_R", "CTRL+ALT+SPACE", "F13" … Key codes are Windows virtual-key codes.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesu::shell {

inline constexpr std::string_view kDefaultHotkey = "ALT_R";

enum class MainKind : std::uint16_t { Modifier = 0, Ordinary = 1 };

struct HotkeySpec {
  std::vector<std::uint16_t> modifiers;  // every part before the last, in order
  std::string raw;                       // the input, untrimmed
  MainKind main_kind = MainKind::Modifier;
  std::uint16_t main_key = 0;

  bool single_modifier() const { return modifiers.empty() && main_kind == MainKind::Modifier; }
};

std::optional<HotkeySpec> parse_hotkey(std::string_view text);

// Whether a key is held right now (asynchronous key state).
using KeyDownFn = std::function<bool(std::uint16_t vk)>;
bool hotkey_matches(const HotkeySpec& spec, std::uint16_t vk, bool is_release,
                    const KeyDownFn& is_down);

std::string hotkey_display_name(std::string_view text);

struct LoadedHotkey {
  HotkeySpec spec;
  std::string configured;     // the configured text ("ALT_R" when none)
  bool unparsable = false;    // configured text did not parse; spec is the default
  bool report_to_user = false;  // non-blank and unparsable: worth a tooltip at start-up
};

// Reads "hotkey" from the configuration JSON; falls back to ALT_R with the warning line.
LoadedHotkey load_push_to_talk(std::string_view config_json,
                               const std::function<void(std::string_view)>& warn);

// The push-to-talk spec the keyboard capture matches against.
class HotkeyHolder {
 public:
  void set(HotkeySpec spec);
  std::optional<HotkeySpec> get() const;
  std::string display_name() const;

 private:
  mutable std::mutex mu_;
  std::optional<HotkeySpec> spec_;  // guarded by mu_
};

}  // namespace kesu::shell
