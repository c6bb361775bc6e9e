#pragma once

// The General settings page without Win32: its controls from the configuration snapshot, the
// hotkey presets, and the patches its two saves send.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "settings/page_spec.h"

namespace kesu::shell {

struct HotkeyPreset {
  int id;
  std::string_view caption;
  std::string_view value;  // becomes the key capture control's value
  int x;
  int width;
  // "清空" only empties the control so that the user presses the new key; an empty hotkey is
  // not a key, so it is never stored.
  bool saves;
};

inline constexpr std::array<HotkeyPreset, 4> kHotkeyPresets{{
    {kIdPresetAltRight, "右 Alt", "ALT_R", 500, 78, true},
    {kIdPresetCtrlAltSpace, "Ctrl+Alt+空格", "CTRL+ALT+SPACE", 588, 116, true},
    {kIdPresetF13, "F13", "F13", 714, 56, true},
    {kIdPresetClear, "清空", "", 780, 60, false},
}};

const HotkeyPreset* find_hotkey_preset(int id);
// {"hotkey": value} for the presets that save at once; nothing for "清空".
std::optional<nlohmann::json> hotkey_preset_patch(const HotkeyPreset& preset);

// The page flag "paste selected" when the page is first shown.
bool initial_paste_selected(const nlohmann::json& config);
// Whether an insertion-mode button is the chosen one (drawn as a primary button).
bool is_chosen_mode_button(int id, bool paste_selected);

// Every control of the page, in creation order. A configuration that is not an object counts
// as empty: every value takes its default.
PageSpec general_page(const nlohmann::json& config);

// The per-application edit box: one "name=粘贴|打字" line per override, sorted, CR LF between.
std::string per_app_text(const nlohmann::json& overrides);
// The load warning label, or nothing when there is no warning to show.
std::optional<std::string> load_warning_text(const nlohmann::json& config);

// Signed 64-bit decimal with an optional sign, surrounding white space ignored.
std::optional<std::int64_t> parse_decimal(std::string_view text);
std::int64_t min_record_ms_from_text(std::string_view text);
std::int64_t max_record_secs_from_text(std::string_view text);

struct GeneralInputs {
  std::string hotkey;  // the key capture control's value
  std::string min_record_text;
  std::string max_record_text;
  bool paste_selected = true;
  bool privacy_mode = false;
  bool launch_at_login = false;
};

enum class HotkeyOutcome {
  saved,       // the key is in the patch
  kept,        // no key was set (after "清空"): the stored key stays, the rest is saved
  unparsable,  // nothing of the General save is sent
};

struct GeneralSave {
  HotkeyOutcome hotkey = HotkeyOutcome::saved;
  std::optional<nlohmann::json> patch;  // for the common save routine; none when refused
  std::string message;                  // for the user when the hotkey was not saved
};

GeneralSave general_save(const GeneralInputs& inputs);

// The per-application overrides in the edit box's text, as the object the core stores.
nlohmann::json per_app_overrides(std::string_view text);
// {"insert_per_app": overrides}; an empty text removes every override.
nlohmann::json per_app_patch(std::string_view text);

}  // namespace kesu::shell
