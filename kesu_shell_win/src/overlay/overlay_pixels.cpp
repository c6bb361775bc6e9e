#include "overlay/overlay_pixels.h"

#include <algorithm>
#include <cmath>

namespace kesu::shell::overlay {

namespace {

constexpr std::uint32_t argb(int a, int r, int g, int b) {
  return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(r) << 16 |
         static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b);
}
int channel(std::uint32_t v, int shift) { return static_cast<int>((v >> shift) & 0xFF); }

// Whether (x, y) lies outside the rounded corners of the box: inside one of the four corner
// squares of side r and farther than `limit` (squared) from that corner's circle centre.
bool outside_corner(int x, int y, const Rect& box, int r, long long limit) {
  const bool left = x < box.left + r, right = x >= box.right - r;
  const bool top = y < box.top + r, bottom = y >= box.bottom - r;
  if (!(left || right) || !(top || bottom)) return false;
  const int cx = left ? box.left + r : box.right - r - 1;
  const int cy = top ? box.top + r : box.bottom - r - 1;
  const long long dx = x - cx, dy = y - cy;
  return dx * dx + dy * dy > limit;
}

}  // namespace

void paint_shapes(Pixels px, const Frame& f) {
  const int R = std::min(f.s.panel_height, px.height);
  const std::uint32_t black = argb(255, 0, 0, 0);
  const std::uint32_t panel = 0xFF000000u | kPanelRgb;
  for (int y = 0; y < px.height; ++y) {
    std::fill_n(&px.at(0, y), px.width, y < R ? panel : black);
  }
  for (const Bar& bar : f.bars) {
    const std::uint32_t colour = 0xFF000000u | bar.rgb;
    for (int y = std::max(bar.rect.top, 0); y < std::min(bar.rect.bottom, R); ++y) {
      for (int x = std::max(bar.rect.left, 0); x < std::min(bar.rect.right, px.width); ++x) {
        px.at(x, y) = colour;
      }
    }
  }
  if (f.badge) {
    const Rect& b = *f.badge;
    const int r = f.s.badge_radius;
    for (int y = std::max(b.top, 0); y < std::min(b.bottom, R); ++y) {
      for (int x = std::max(b.left, 0); x < std::min(b.right, px.width); ++x) {
        if (outside_corner(x, y, b, r, static_cast<long long>(r) * r)) continue;
        const std::uint32_t v = px.at(x, y);
        auto lighten = [](int c) { return static_cast<int>(std::clamp(0.82 * c + 45.9, 0.0, 255.0)); };
        px.at(x, y) = argb(255, lighten(channel(v, 16)), lighten(channel(v, 8)), lighten(channel(v, 0)));
      }
    }
  }
}

void alpha_pass(Pixels px, const Frame& f, int grey) {
  const int R = std::min(f.s.panel_height, px.height);
  const int rho = f.s.panel_height / 2;
  const Rect panel{0, 0, px.width, f.s.panel_height};
  const long long limit = static_cast<long long>(rho) * rho + rho;
  const int g = f.panel_alpha;
  for (int y = 0; y < R; ++y) {
    for (int x = 0; x < px.width; ++x) {
      std::uint32_t& v = px.at(x, y);
      if (outside_corner(x, y, panel, rho, limit)) {
        v = 0;
        continue;
      }
      v = argb(g, channel(v, 16) * g / 255, channel(v, 8) * g / 255, channel(v, 0) * g / 255);
    }
  }
  // The hint strip: text brightness becomes coverage; faint fringes are dropped.
  int strength[256];
  for (int m = 0; m < 256; ++m) {
    strength[m] = static_cast<int>(255 * std::pow(m / 255.0, 1.7));
  }
  for (int y = R; y < px.height; ++y) {
    for (int x = 0; x < px.width; ++x) {
      std::uint32_t& v = px.at(x, y);
      const int m = std::max({channel(v, 16), channel(v, 8), channel(v, 0)});
      const int s = strength[m];
      if (s < 24) {
        v = 0;
        continue;
      }
      const int c = s * grey / 255;
      v = argb(s, c, c, c);
    }
  }
}

}  // namespace kesu::shell::overlay
