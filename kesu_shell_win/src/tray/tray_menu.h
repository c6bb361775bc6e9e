#pragma once

// The tray menu as data: which items show, in which order, with which texts. The Windows side
// only turns the model into a popup menu; the "--tray-menu-dump" mode prints it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "kesu_version.h"

namespace kesu::shell {

namespace tray_cmd {
inline constexpr int kCopyLast = 1001;
inline constexpr int kDiagnose = 1002;
inline constexpr int kExit = 1003;
inline constexpr int kSettings = 1004;
inline constexpr int kPalette = 1005;
inline constexpr int kHistory = 1006;
inline constexpr int kCancel = 1007;
inline constexpr int kAbout = 1008;
inline constexpr int kToggleMini = 1009;
inline constexpr int kSelfTest = 1010;
inline constexpr int kMicPrivacy = 1011;
inline constexpr int kPermissionReport = 1013;
inline constexpr int kDevSelfTest = 1014;
// Failed segment i is retried by id kRetryBase + i.
inline constexpr int kRetryBase = 1200;
}  // namespace tray_cmd

inline constexpr std::string_view kTrayVersionText = KESU_VERSION "（预览）";
inline constexpr std::string_view kTrayDefaultTooltip = "言至：按住右 Alt 说话";

// The tooltip as the icon record holds it: the default when empty, at most 127 UTF-16 units
// (the field's 128 with the NUL), never ending in half a surrogate pair.
std::u16string tray_tooltip_units(std::string_view text);

// What a mouse message on the icon (the callback's lParam) asks for.
enum class TrayClick { ShowMenu, OpenSettings, Ignore };
TrayClick tray_click_action(unsigned mouse_message);

// "就绪" for any phase without a label of its own, and always without a core.
std::string tray_status_label(std::string_view phase, bool has_core);
// Cancelling makes sense only while a recording is being prepared or runs.
bool tray_cancel_enabled(std::string_view status_label);

// The failed segment indexes from the core's JSON array; anything unparsable (not an array, an
// element that is not a non-negative integer) counts as none.
std::vector<int> parse_failed_segments(std::string_view json);

// "上次：{first 24 characters}{…}（{n} 字）".
std::string last_result_label(std::string_view text);

std::string tray_about_text();

enum class TrayItemKind { Label, Command, Separator, Submenu };

struct TrayMenuItem {
  TrayItemKind kind = TrayItemKind::Command;
  int id = 0;  // commands only
  std::string text;
  bool greyed = false;
  std::vector<TrayMenuItem> children;  // submenus only

  bool operator==(const TrayMenuItem&) const = default;
};

struct TrayMenuInputs {
  std::string phase;
  bool has_core = false;
  std::optional<std::string> last_result;  // an empty text counts as none
  std::string failed_segments_json;
  bool developer_mode = false;
};

std::vector<TrayMenuItem> build_tray_menu(const TrayMenuInputs& inputs);

// One line per item, each starting with "TRAYMENU", e.g. "TRAYMENU id=1007 grey=1 text=…";
// labels show id=0, separators "TRAYMENU separator", a submenu "TRAYMENU submenu text=…" and its
// children "TRAYMENU > id=1200 grey=0 text=第 1 段". Line breaks inside texts become spaces.
std::string dump_tray_menu(const std::vector<TrayMenuItem>& items);

}  // namespace kesu::shell
