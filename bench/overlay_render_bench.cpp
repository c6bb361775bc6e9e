// One overlay frame as the animation thread renders it, at 150 % with a 40-character live text:
// state copy, layout, bitmap allocation, panel/bars/badge pixels and the alpha pass. Text is
// measured by a stand-in of fixed widths (GDI's own text calls are not part of this figure).
// Prints the median and worst of 1,000 frames.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "main/views.h"
#include "overlay/overlay.h"
#include "overlay/overlay_pixels.h"

namespace {

using namespace kesu::shell;
using Clock = std::chrono::steady_clock;

class BitmapPlatform final : public OverlayPlatform {
 public:
  CaretProbe caret_probe() override { return {900, 500, ProbeKind::Upper}; }
  std::optional<std::pair<int, int>> cursor() override { return std::pair{900, 500}; }
  double dpi_scale(int, int) override { return 1.5; }
  overlay::Rect work_area(int, int) override { return {0, 0, 2880, 1560}; }
  int text_width(std::string_view text, int height) override {
    int w = 0;
    for (unsigned char c : text) {
      if (c < 0x80) w += height / 2;
      else if (c >= 0xC0) w += height;
    }
    return w;
  }
  void draw(const overlay::Frame& f) override {
    std::vector<std::uint32_t> bitmap(static_cast<std::size_t>(f.W) * f.H);  // the DIB
    const overlay::Pixels px{bitmap.data(), f.W, f.H};
    overlay::paint_shapes(px, f);
    overlay::alpha_pass(px, f, 242);
    sink_ += bitmap[bitmap.size() / 2];
  }
  void show() override {}
  void hide() override {}
  std::uint32_t sink_ = 0;
};

}  // namespace

int main() {
  OverlayModel model;
  OverlayTiming timing;
  ThreadScheduler scheduler;
  BitmapPlatform platform;
  StatusOverlay overlay(model, timing, scheduler, platform,
                        {[](std::string_view) {}, [](std::string_view) {}, [] { return false; }},
                        150, /*animate=*/false);
  {
    std::lock_guard lock(model.mu);
    model.phase = "listening";
    model.text = "今天天气很好我们去公园散步吧顺便买点水果回家然后一起做晚饭再看一部电影好不好呀呢";
    model.profile_name = "邮件";
    model.level = 0.05f;
    model.secs = 4;
  }
  std::vector<double> micros;
  for (int i = 0; i < 1000 + 50; ++i) {
    (void)overlay.animation_step();
    const auto start = Clock::now();
    const overlay::Frame f = overlay.render();
    const auto took = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (i >= 50) micros.push_back(took);  // the first frames warm the caches
    if (i == 0) std::printf("frame %d x %d pixels\n", f.W, f.H);
  }
  std::sort(micros.begin(), micros.end());
  std::printf("overlay render at 150%%, 40 characters: median %.1f us, worst %.1f us (n=%zu)\n",
              micros[micros.size() / 2], micros.back(), micros.size());
  return platform.sink_ == 1 ? 1 : 0;
}
