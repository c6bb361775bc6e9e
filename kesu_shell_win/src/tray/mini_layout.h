#pragma once

// The mini window's geometry, texts and click rules at a stored scale. All positions are client
// pixels; the design is 170 × 230 units at 96 DPI.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kesu::shell {

struct MiniRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const MiniRect&) const = default;
};

struct MiniPoint {
  int x = 0;
  int y = 0;
  bool operator==(const MiniPoint&) const = default;
};

struct MiniColour {
  std::uint8_t r, g, b;
};

namespace mini_colour {
inline constexpr MiniColour kCard{31, 28, 28};
inline constexpr MiniColour kBorder{46, 42, 42};
inline constexpr MiniColour kButtonRecording{214, 43, 43};
inline constexpr MiniColour kButtonIdle{70, 58, 58};
inline constexpr MiniColour kMark{240, 240, 240};
inline constexpr MiniColour kStatus{204, 200, 200};
inline constexpr MiniColour kSaved{160, 154, 154};
inline constexpr MiniColour kSettings{160, 154, 154};
inline constexpr MiniColour kClose{144, 138, 138};
}  // namespace mini_colour

inline constexpr std::u16string_view kMiniTextFont = u"Microsoft YaHei UI";
inline constexpr std::u16string_view kMiniGlyphFont = u"Segoe MDL2 Assets";
inline constexpr std::u16string_view kMiniMicGlyph = u"\uE720";
inline constexpr std::u16string_view kMiniSettingsGlyph = u"\uE713";
inline constexpr std::string_view kMiniCloseText = "✕";
inline constexpr std::string_view kMiniClosedLogLine = "MINI closed（托盘「显示主窗」可以再打开）";

// Rounded 100 × dpi / 96; 100 when the DPI is unknown (0).
int mini_scale_percent(unsigned dpi);

// An empty phase (no state event yet) counts as idle everywhere below.
bool mini_button_recording(std::string_view phase);

enum class MiniButtonAction { Stop, Start, Nothing };
// What a click on the round button does in a phase.
MiniButtonAction mini_button_action(std::string_view phase);

std::string mini_saved_text(std::int64_t minutes);

struct MiniTextLine {
  std::string text;
  MiniRect rect;
  bool operator==(const MiniTextLine&) const = default;
};

enum class MiniHit { Client, Caption };
enum class MiniClick { Close, Settings, Button, Nothing };

class MiniLayout {
 public:
  explicit MiniLayout(int scale_percent);

  int percent() const { return percent_; }
  // Design units to pixels, rounded.
  int scale(int units) const;

  int width() const { return scale(170); }
  int height() const { return scale(230); }
  // Top-left corner: 18 left of and 78 above the work area's bottom-right corner.
  MiniPoint position(const MiniRect& work_area) const;
  int corner() const { return scale(14); }

  MiniPoint button_centre() const { return {width() / 2, scale(92)}; }
  int button_radius() const { return scale(38); }
  int click_radius() const { return scale(44); }
  int stop_half_size() const { return scale(12); }
  MiniRect mic_rect() const;
  int mic_font_size() const { return scale(34); }
  int text_font_size() const { return scale(12); }
  int settings_font_size() const { return scale(15); }

  MiniRect saved_rect() const;
  MiniRect settings_rect() const;
  MiniRect close_rect() const;
  std::vector<MiniTextLine> status_lines(std::string_view phase,
                                         std::string_view hotkey_name) const;

  bool in_button(int x, int y) const;
  bool in_close(int x, int y) const;
  bool in_settings(int x, int y) const;
  // Only the controls are client area; the rest of the card drags the window.
  MiniHit hit_test(int x, int y) const;
  MiniClick click(int x, int y) const;

 private:
  int percent_;
};

}  // namespace kesu::shell
