#include "overlay/overlay_layout.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "main/text.h"

namespace kesu::shell::overlay {

namespace {

// Byte offsets of every character start, plus the end.
std::vector<std::size_t> char_starts(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); i = next_char_boundary(text, i + 1)) starts.push_back(i);
  starts.push_back(text.size());
  return starts;
}

int clamp_channel(double v) { return static_cast<int>(std::clamp(v, 0.0, 255.0)); }

}  // namespace

int rnd(double v) { return static_cast<int>(std::round(v)); }

Sizes sizes_for(double t, const Measure& measure) {
  Sizes s;
  s.t = t;
  s.panel_height = rnd(36 * t);
  s.window_height = rnd(56 * t);
  s.margin = rnd(10 * t);
  s.bar_area = rnd(39.5 * t);
  s.badge_side = rnd(22 * t);
  s.badge_gap = rnd(8 * t);
  s.text_x = rnd(39.5 * t) + rnd(8 * t) + rnd(10 * t) + rnd(22 * t);
  s.right_margin = rnd(12 * t);
  s.text_font = std::max(rnd(17.5 * t), 9);
  s.hint_font = std::max(rnd(12.5 * t), 7);
  s.cursor_font = std::max(rnd(19 * t), 9);
  s.badge_font = std::max(rnd(13.64 * t), 9);
  s.cursor_slot = measure("_", s.cursor_font) + rnd(3 * t);
  s.bar_width = std::max(rnd(4 * t), 2);
  s.resting_bar = rnd(8 * t);
  s.badge_radius = std::max(rnd(5 * t), 2);
  return s;
}

int needed_width(int text_px, const Sizes& s) {
  const double px = rnd(2 * s.t) + text_px + s.cursor_slot + s.right_margin + s.text_x;
  const int units = static_cast<int>(std::ceil(px / s.t / 24)) * 24;
  return std::clamp(units, kMinWidth, kMaxWidth);
}

int tip_width(std::size_t chars) {
  const std::size_t capped = std::min<std::size_t>(chars, kMaxWidth);
  return std::clamp(static_cast<int>(13 * capped + 8), kMinWidth, kMaxWidth);
}

Placement place(const OverlayFields& st, int W, const Sizes& s, const Rect& work) {
  const double t = s.t;
  const int H = s.window_height;
  Placement p;
  if (st.has_anchor) {
    p.x = st.anchor_x - W / 2;
    p.y = st.anchor_y + rnd(6 * t);
    // No room below the caret: above it, clear of the line being typed.
    if (p.y + H > work.bottom - rnd(4 * t)) p.y = st.anchor_y - H - rnd(28 * t);
    const int x_low = work.left + rnd(8 * t);
    const int y_low = work.top + rnd(4 * t);
    p.x = std::clamp(p.x, x_low, std::max(work.right - rnd(8 * t) - W, x_low));
    p.y = std::clamp(p.y, y_low, std::max(work.bottom - H - rnd(4 * t), y_low));
  } else {
    p.x = work.left + (work.right - W - work.left) / 2;
    p.y = work.bottom - H - rnd(96 * t);
    const int low = work.top + rnd(4 * t);
    const int high = std::max(std::max(work.bottom - H - rnd(4 * t), work.top), low);
    p.y = std::clamp(p.y, low, high);
  }
  return p;
}

double level_fraction(float level) {
  const double db = 20 * std::log10(std::max(static_cast<double>(level), 0.00001));
  return std::clamp((db + 60) / 40, 0.0, 1.0);
}

bool is_live(std::string_view phase) { return phase == "starting" || phase == "listening"; }

bool is_tip(std::string_view phase) { return phase == "error" || phase == "notice"; }

std::array<Bar, 5> bars(const OverlayFields& st, int W, const Sizes& s) {
  const double t = s.t;
  const int R = s.panel_height;
  const bool live = is_live(st.phase);
  const double L = level_fraction(st.level);
  const double a = live ? 0.45 * L + 0.55 : 0.35;
  const std::uint32_t rgb = static_cast<std::uint32_t>(clamp_channel(248 * a)) << 16 |
                            static_cast<std::uint32_t>(clamp_channel(208 * a)) << 8 |
                            static_cast<std::uint32_t>(clamp_channel(136 * a));
  std::array<Bar, 5> out{};
  for (int i = 0; i < 5; ++i) {
    int h = s.resting_bar;
    if (live) {
      const double wave = (std::sin(0.9 * i + 6 * st.animation_time) + 1) * 0.5 * 0.65 + 0.35;
      h = rnd(std::max(wave * (0.86 * L + 0.14) * 14 + 6, 8.0) * t);
    }
    const int left = s.margin + rnd(6.5 * i * t);
    const int top = (R - h) / 2;
    out[static_cast<std::size_t>(i)] = {
        Rect{left, std::max(top, 0), std::min(left + s.bar_width, W), std::min(R, top + h)}, rgb};
  }
  return out;
}

FittedText fit_text(std::string_view phase, std::string_view shown, int available, int font_height,
                    const Measure& measure) {
  const int full = measure(shown, font_height);
  if (full <= available) return {std::string(shown), full};
  const std::vector<std::size_t> starts = char_starts(shown);
  const std::size_t n = starts.size() - 1;  // characters
  if (is_tip(phase)) {
    // The longest prefix that still leaves room for the ellipsis.
    const int ellipsis = measure("…", font_height);
    std::size_t lo = 0, hi = n;  // answer in [lo, hi]
    while (lo < hi) {
      const std::size_t mid = (lo + hi + 1) / 2;
      if (measure(shown.substr(0, starts[mid]), font_height) + ellipsis <= available) {
        lo = mid;
      } else {
        hi = mid - 1;
      }
    }
    std::string text = std::string(shown.substr(0, starts[lo])) + "…";
    return {text, measure(text, font_height)};
  }
  // The shortest tail that fits, so that the newest words stay visible.
  std::size_t lo = 0, hi = n;  // answer in [lo, hi]; the empty tail always fits
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (measure(shown.substr(starts[mid]), font_height) <= available) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  std::string text(shown.substr(starts[lo]));
  return {text, measure(text, font_height)};
}

std::string hint_text(std::string_view phase, double secs) {
  if (is_live(phase)) {
    const std::string prefix = secs >= 1 ? "在听… " + std::to_string(rnd(secs)) + "s · " : "";
    return prefix + "松开上屏 · Esc 取消";
  }
  if (phase == "processing") return "识别中…";
  if (phase == "inserting") return "上屏中…";
  return "";
}

int luma(int red, int green, int blue) { return (299 * red + 587 * green + 114 * blue) / 1000; }

int hint_grey(const int* lumas, int count, bool light_theme) {
  if (count <= 0) return light_theme ? 51 : 242;
  int sum = 0;
  for (int i = 0; i < count; ++i) sum += lumas[i];
  return sum / count >= 128 ? 51 : 242;
}

Frame compose(const OverlayFields& st, double t, const Rect& work, const Measure& measure) {
  Frame f;
  f.s = sizes_for(t, measure);
  const Sizes& s = f.s;
  const int R = s.panel_height;
  f.width_units = std::max(st.width, needed_width(measure(st.text, s.text_font), s));
  f.W = rnd(f.width_units * t);
  f.H = s.window_height;
  f.pos = place(st, f.W, s, work);
  f.bars = bars(st, f.W, s);
  if (!st.profile_name.empty()) {
    const int left = rnd(39.5 * t) + s.margin;
    const int top = (R - s.badge_side) / 2;
    f.badge = Rect{left, top, left + s.badge_side, top + s.badge_side};
  }

  const std::string shown = st.phase == "error" ? "! " + st.text : st.text;
  const int text_right = f.W - s.right_margin - s.cursor_slot;
  const int available = std::max(text_right - s.text_x, rnd(10 * t));
  const FittedText fitted = fit_text(st.phase, shown, available, s.text_font, measure);
  f.main_text = fitted.text;
  f.text_rect = Rect{s.text_x, 0, text_right, R};

  const int cursor_left =
      shown.empty() ? (f.W - s.cursor_slot) / 2 : s.text_x + std::min(available, fitted.width) + rnd(t);
  f.cursor_rect = Rect{cursor_left, 0, std::min(f.W, cursor_left + s.cursor_slot), R};
  f.cursor_bright = st.blink;

  f.hint = hint_text(st.phase, st.secs);
  const int hint_top = R + rnd(4 * t);
  f.hint_rect = Rect{0, hint_top, f.W, hint_top + rnd(16 * t)};
  f.panel_alpha = st.phase == "error" ? 246 : 240;
  return f;
}

}  // namespace kesu::shell::overlay
