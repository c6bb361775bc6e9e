#pragma once

// The overlay's pixel work on a top-down 32-bit bitmap (bytes blue, green, red, alpha): the
// panel, bars and badge before the text is drawn, and the alpha pass after it.

#include <cstdint>

#include "overlay/overlay_layout.h"

namespace kesu::shell::overlay {

struct Pixels {
  std::uint32_t* data;  // width × height, row by row; value 0xAARRGGBB
  int width;
  int height;

  std::uint32_t& at(int x, int y) const { return data[static_cast<std::size_t>(y) * width + x]; }
};

inline constexpr std::uint32_t kPanelRgb = 0x38383D;  // RGB(56, 56, 61)

// Black everywhere, the panel colour on its rows, then the bars and the lightened badge.
void paint_shapes(Pixels px, const Frame& f);

// Rounds the panel's corners, premultiplies it, and turns the hint strip's brightness into
// alpha, tinted with the grey level.
void alpha_pass(Pixels px, const Frame& f, int grey);

}  // namespace kesu::shell::overlay
