#include "tray/app_icon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kesu::shell {

namespace {

constexpr std::array<int, 3> kSizes{16, 32, 48};
constexpr int kSamples = 4;  // per axis, for smooth edges

struct Colour {
  double r, g, b;
};
constexpr Colour kBackground{38, 34, 34};
constexpr Colour kAccent{214, 43, 43};
constexpr Colour kMicrophone{240, 240, 240};

double segment_distance(double x, double y, double ax, double ay, double bx, double by) {
  const double px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
  const double t = std::clamp((px * dx + py * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(px - t * dx, py - t * dy);
}

// Signed-distance shapes in the unit square (y grows downwards), negative inside.
double rounded_box(double x, double y, double cx, double cy, double hx, double hy, double r) {
  const double qx = std::abs(x - cx) - hx + r;
  const double qy = std::abs(y - cy) - hy + r;
  return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
}

bool in_background(double x, double y) { return rounded_box(x, y, 0.5, 0.5, 0.47, 0.47, 0.2) <= 0; }

bool in_accent_ring(double x, double y) {
  return rounded_box(x, y, 0.5, 0.5, 0.47, 0.47, 0.2) <= 0 &&
         rounded_box(x, y, 0.5, 0.5, 0.41, 0.41, 0.16) > 0;
}

bool in_microphone(double x, double y) {
  if (segment_distance(x, y, 0.5, 0.3, 0.5, 0.44) <= 0.12) return true;  // capsule
  const double ring = std::hypot(x - 0.5, y - 0.45);
  if (y >= 0.45 && std::abs(ring - 0.2) <= 0.035) return true;            // holder
  if (std::abs(x - 0.5) <= 0.035 && y >= 0.64 && y <= 0.78) return true;  // stem
  return rounded_box(x, y, 0.5, 0.78, 0.14, 0.035, 0.03) <= 0;            // foot
}

// BGRA, premultiplication not wanted by ICO: straight alpha.
std::array<std::uint8_t, 4> pixel(int px, int py, int size) {
  double r = 0, g = 0, b = 0, covered = 0;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      const double x = (px + (sx + 0.5) / kSamples) / size;
      const double y = (py + (sy + 0.5) / kSamples) / size;
      if (!in_background(x, y)) continue;
      const Colour c = in_microphone(x, y)    ? kMicrophone
                       : in_accent_ring(x, y) ? kAccent
                                              : kBackground;
      r += c.r, g += c.g, b += c.b, covered += 1;
    }
  }
  if (covered == 0) return {0, 0, 0, 0};
  const auto channel = [](double v) { return static_cast<std::uint8_t>(std::lround(v)); };
  return {channel(b / covered), channel(g / covered), channel(r / covered),
          channel(255.0 * covered / (kSamples * kSamples))};
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// A BITMAPINFOHEADER image: colour rows bottom-up, then an all-zero AND mask (alpha decides).
std::vector<std::uint8_t> icon_image(int size) {
  std::vector<std::uint8_t> out;
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(size));
  put32(out, static_cast<std::uint32_t>(size * 2));  // colour and mask together
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // BI_RGB
  const std::uint32_t mask_row = static_cast<std::uint32_t>(((size + 31) / 32) * 4);
  put32(out, static_cast<std::uint32_t>(size * size * 4) + mask_row * size);
  for (int i = 0; i < 4; ++i) put32(out, 0);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const auto p = pixel(x, y, size);
      out.insert(out.end(), p.begin(), p.end());
    }
  }
  out.insert(out.end(), static_cast<std::size_t>(mask_row) * size, 0);
  return out;
}

std::optional<std::vector<std::uint8_t>> read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> app_icon_bytes() {
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : kSizes) images.push_back(icon_image(size));
  std::vector<std::uint8_t> out;
  put16(out, 0);
  put16(out, 1);  // icon
  put16(out, static_cast<std::uint32_t>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(kSizes[i]));
    out.push_back(static_cast<std::uint8_t>(kSizes[i]));
    out.push_back(0);  // no palette
    out.push_back(0);
    put16(out, 1);
    put16(out, 32);
    put32(out, static_cast<std::uint32_t>(images[i].size()));
    put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

std::optional<std::filesystem::path> ensure_icon_file(const std::filesystem::path& dir,
                                                      const std::vector<std::uint8_t>& bytes) {
  try {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) return std::nullopt;
    const std::filesystem::path file = dir / kIconFileName;
    if (std::filesystem::is_regular_file(file, ec)) {
      const auto existing = read_file(file);
      if (existing && *existing == bytes) return file;
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return std::nullopt;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return std::nullopt;
    return file;
  } catch (...) {
    // Allocation or path conversion failures: the caller falls back to the system icon.
    return std::nullopt;
  }
}

}  // namespace kesu::shell
