#pragma once

// The settings window's geometry and keyboard, decided without Win32: the scale, the sidebar's
// navigation items, the content panel, what a key does, and the lines the window writes.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kesu::shell {

inline constexpr int kSettingsPageCount = 9;
inline constexpr int kSettingsDesignWidth = 900;
inline constexpr int kSettingsDesignHeight = 632;
inline constexpr int kTitleBarHeight = 36;
inline constexpr int kContentX = 196;
inline constexpr int kContentWidth = 664;

struct SettingsPage {
  std::string_view label;
  std::string_view icon;
};

// In sidebar order; the index is what callers pass to open the window.
const std::array<SettingsPage, kSettingsPageCount>& settings_pages();

// The page a caller asked for, as the window shows it (above the last page means the last).
int clamp_page(int index);
// Ctrl+Tab and friends go round.
int wrap_page(int index);

// The layout scale: the window's DPI, or KESU_SETTINGS_DPI as a percentage, limited so that the
// window fits the work area with a margin, and never below 1.
float settings_scale(unsigned dpi, const std::optional<std::string>& dpi_override, int work_width,
                     int work_height);
// A design value in pixels at scale k.
int px(float k, double value);

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Navigation item i in client pixels (below the title bar).
PixelRect nav_item_rect(int index, float k);
// Which navigation item a client point is on.
std::optional<int> nav_item_at(int x, int y, float k);
// The rounded panel the page's controls sit on, in client pixels.
PixelRect content_panel_rect(int client_width, int client_height, float k);
// The drag area: everything above the title bar's bottom edge.
bool in_title_bar(int y, float k);

enum class FrameKeyAction {
  none,
  show_page,       // `page` says which
  focus_next,      // Tab
  focus_previous,  // Shift+Tab
  click_focused,   // Enter on a button
  hide,            // Esc
};

struct FrameKey {
  FrameKeyAction action = FrameKeyAction::none;
  int page = 0;
};

// What a key-down reaching the window does on page `current`.
FrameKey frame_key(unsigned vk, bool ctrl, bool shift, bool focus_on_button, int current);

// Notifications that only change how a control looks: they repaint and do nothing else.
bool repaint_only_notification(int code);

// "build page={} ctrls={}\n" for settings.log.
std::string settings_log_line(int page, int controls);
// "CMD id={} note={} ms={}", written for slow handling or when asked for.
std::optional<std::string> command_log_line(int id, int note, long long ms, bool debug);

}  // namespace kesu::shell
