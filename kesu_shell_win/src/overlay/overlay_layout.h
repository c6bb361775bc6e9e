#pragma once

// Everything the overlay draws, as a pure function of its state, the scale and a text measurer:
// sizes, width growth, position, bars, badge, fitted text, cursor and hint. The platform part
// only executes the resulting frame.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "overlay/overlay_state.h"

namespace kesu::shell::overlay {

// The integer nearest to v, halves going away from zero.
int rnd(double v);

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Width in pixels of a text drawn at a font height (measured at weight 600); empty text → 0.
using Measure = std::function<int(std::string_view text, int font_height)>;

inline constexpr int kMinWidth = 190;
inline constexpr int kMaxWidth = 420;

// Pixel sizes at scale t.
struct Sizes {
  double t = 1;
  int panel_height;   // R
  int window_height;  // H
  int margin;         // P
  int bar_area;
  int badge_side;     // B
  int badge_gap;
  int text_x;         // X
  int right_margin;
  int text_font, hint_font, cursor_font, badge_font;
  int cursor_slot;    // C
  int bar_width;
  int resting_bar;
  int badge_radius;
};
Sizes sizes_for(double t, const Measure& measure);

// Panel width in design units for a text of that many pixels, 190…420 in steps of 24.
int needed_width(int text_px, const Sizes& s);

// Width of an error tip of n characters, in design units.
int tip_width(std::size_t chars);

// Top-left corner of the window in screen pixels.
struct Placement {
  int x = 0, y = 0;
};
Placement place(const OverlayFields& st, int window_width, const Sizes& s, const Rect& work);

// Mapping of the smoothed rms to 0…1 (−60 dB → 0, −20 dB → 1).
double level_fraction(float level);
bool is_live(std::string_view phase);
// Tips keep their beginning when cut; live text keeps its end.
bool is_tip(std::string_view phase);

struct Bar {
  Rect rect;           // already cut to the window and panel
  std::uint32_t rgb;   // 0x00RRGGBB
};
std::array<Bar, 5> bars(const OverlayFields& st, int window_width, const Sizes& s);

// The text actually drawn, and its width in pixels.
struct FittedText {
  std::string text;
  int width = 0;
};
FittedText fit_text(std::string_view phase, std::string_view shown, int available, int font_height,
                    const Measure& measure);

// "在听… 3s · 松开上屏 · Esc 取消", "识别中…", "上屏中…" or empty.
std::string hint_text(std::string_view phase, double secs);

// Grey level of the hint text from the lumas of the pixels below the window; none readable →
// the theme (light → dark text).
int hint_grey(const int* lumas, int count, bool light_theme);
int luma(int red, int green, int blue);

struct Frame {
  Sizes s;
  int width_units = kMinWidth;  // the stored width after this render (grows only)
  int W = 0, H = 0;
  Placement pos;
  std::array<Bar, 5> bars{};
  std::optional<Rect> badge;     // the badge square, uncut
  std::string main_text;         // fitted
  Rect text_rect;
  Rect cursor_rect;
  bool cursor_bright = false;
  std::string hint;
  Rect hint_rect;
  int panel_alpha = 240;         // 246 for an error tip
};

// The whole layout. `work` is the work area of the monitor at the anchor (or cursor).
Frame compose(const OverlayFields& st, double t, const Rect& work, const Measure& measure);

}  // namespace kesu::shell::overlay
