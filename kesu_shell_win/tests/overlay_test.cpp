#include <gtest/gtest.h>

#include <vector>

#include "main/text.h"
#include "overlay/overlay.h"
#include "overlay/overlay_modes.h"
#include "overlay/overlay_pixels.h"

using namespace kesu::shell;
using namespace kesu::shell::overlay;

namespace {

// Latin letters are half as wide as the font is high, everything else as wide.
int fake_width(std::string_view text, int height) {
  int w = 0;
  for (std::size_t i = 0; i < text.size(); i = next_char_boundary(text, i + 1)) {
    w += static_cast<unsigned char>(text[i]) < 0x80 ? height / 2 : height;
  }
  return w;
}
const Measure kMeasure = fake_width;
const Rect kWork{0, 0, 1920, 1040};

std::string han(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "字";
  return s;
}

OverlayFields live(std::string text = "") {
  OverlayFields st;
  st.phase = "listening";
  st.text = std::move(text);
  return st;
}

}  // namespace

TEST(OverlayLayout, SizesAtOneAndOneAndAHalf) {
  const Sizes one = sizes_for(1, kMeasure);
  EXPECT_EQ(one.panel_height, 36);
  EXPECT_EQ(one.window_height, 56);
  EXPECT_EQ(one.text_x, 40 + 8 + 10 + 22);
  EXPECT_EQ(one.text_font, 18);
  EXPECT_EQ(one.cursor_slot, 19 / 2 + 3);
  const Sizes big = sizes_for(1.5, kMeasure);
  EXPECT_EQ(big.panel_height, 54);
  EXPECT_EQ(big.window_height, 84);
  EXPECT_EQ(big.text_font, 26);
  EXPECT_EQ(big.bar_width, 6);
  EXPECT_EQ(rnd(2.5), 3);
  EXPECT_EQ(rnd(-2.5), -3);
}

TEST(OverlayLayout, WidthTable) {
  struct Case {
    double t;
    OverlayFields st;
    int width_units, W, H;
  };
  OverlayFields wide_before = live("短");
  wide_before.width = 420;  // grown earlier in this recording
  const Case cases[] = {
      {1, live(), 190, 190, 56},
      {1.5, live(), 190, 285, 84},
      {1, live(han(5)), 216, 216, 56},    // 2 + 90 + 12 + 12 + 80 = 196 → 9 × 24
      {1, live(han(30)), 420, 420, 56},   // capped
      {1.5, live(han(40)), 420, 630, 84},
      {1, wide_before, 420, 420, 56},     // never shrinks
  };
  for (const Case& c : cases) {
    const Frame f = compose(c.st, c.t, kWork, kMeasure);
    EXPECT_EQ(f.width_units, c.width_units) << c.st.text << " t=" << c.t;
    EXPECT_EQ(f.W, c.W) << c.st.text;
    EXPECT_EQ(f.H, c.H) << c.st.text;
  }
}

TEST(OverlayLayout, EmptyTextPutsTheCursorInTheMiddle) {
  const Frame f = compose(live(), 1, kWork, kMeasure);
  EXPECT_EQ(f.cursor_rect.left, (190 - 12) / 2);
  EXPECT_EQ(f.cursor_rect.right, (190 - 12) / 2 + 12);
  EXPECT_EQ(f.main_text, "");
}

TEST(OverlayLayout, LiveTextShowsItsEndAndTipsTheirBeginning) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += i < 10 ? "旧" : "新";
  const Frame f = compose(live(text), 1, kWork, kMeasure);
  const int available = 420 - 80 - 12 - 12;
  EXPECT_EQ(f.main_text, std::string(han(0)) + [&] {
    std::string tail;
    for (int i = 0; i < available / 18; ++i) tail += "新";
    return tail;
  }());
  EXPECT_EQ(f.cursor_rect.left, 80 + (available / 18) * 18 + 1);

  OverlayFields tip;
  tip.phase = "error";
  tip.text = han(40);
  tip.width = tip_width(40);
  EXPECT_EQ(tip_width(30), 398);
  EXPECT_EQ(tip.width, 420);
  const Frame t = compose(tip, 1, kWork, kMeasure);
  ASSERT_TRUE(t.main_text.starts_with("! 字"));
  ASSERT_TRUE(t.main_text.ends_with("…"));
  EXPECT_LE(fake_width(t.main_text, 18), available);
  EXPECT_GT(fake_width(t.main_text + "字", 18), available);
  EXPECT_EQ(t.panel_alpha, 246);
}

TEST(OverlayLayout, FitTextBisection) {
  const Measure ten = [](std::string_view s, int) { return static_cast<int>(char_count(s)) * 10; };
  EXPECT_EQ(fit_text("listening", "abcdefghij", 45, 18, ten).text, "ghij");
  EXPECT_EQ(fit_text("listening", "abcd", 45, 18, ten).text, "abcd");
  EXPECT_EQ(fit_text("error", "! abcdefgh", 45, 18, ten).text, "! a…");
  EXPECT_EQ(fit_text("notice", "abcdefgh", 45, 18, ten).text, "abc…");
  EXPECT_EQ(fit_text("error", "abcdefgh", 5, 18, ten).text, "…");
}

TEST(OverlayLayout, PlacementTable) {
  struct Case {
    const char* name;
    bool anchor;
    int ax, ay;
    Rect work;
    int x, y;
  };
  const Case cases[] = {
      {"below the caret", true, 500, 300, kWork, 405, 306},
      {"caret in the bottom row: above it", true, 500, 1030, kWork, 405, 1030 - 56 - 28},
      {"left edge", true, 5, 300, kWork, 8, 306},
      {"right edge", true, 1915, 300, kWork, 1920 - 8 - 190, 306},
      {"no anchor: centred above the bottom", false, 0, 0, kWork, 865, 1040 - 56 - 96},
      {"second monitor", false, 0, 0, Rect{1920, 0, 3840, 1080}, 1920 + 865, 1080 - 56 - 96},
      {"work area smaller than the window", false, 0, 0, Rect{0, 0, 100, 30}, -45, 4},
      {"tiny area with an anchor", true, 50, 10, Rect{0, 0, 100, 30}, 8, 4},
  };
  for (const Case& c : cases) {
    OverlayFields st = live();
    st.has_anchor = c.anchor;
    st.anchor_x = c.ax;
    st.anchor_y = c.ay;
    const Frame f = compose(st, 1, c.work, kMeasure);
    EXPECT_EQ(f.pos.x, c.x) << c.name;
    EXPECT_EQ(f.pos.y, c.y) << c.name;
  }
  OverlayFields st = live();
  st.has_anchor = true;
  st.anchor_x = 800;
  st.anchor_y = 1075;
  const Frame big = compose(st, 1.5, Rect{0, 0, 1920, 1080}, kMeasure);
  EXPECT_EQ(big.pos.y, 1075 - 84 - 42);
}

TEST(OverlayLayout, BarsFollowTheLevelAndTheClock) {
  EXPECT_NEAR(level_fraction(0.01f), 0.5, 1e-6);
  EXPECT_DOUBLE_EQ(level_fraction(0), 0);
  EXPECT_DOUBLE_EQ(level_fraction(1), 1);

  OverlayFields quiet = live();
  for (const Bar& b : bars(quiet, 190, sizes_for(1, kMeasure))) EXPECT_EQ(b.rect.height(), 8);

  OverlayFields loud = live();
  loud.level = 0.1f;  // −20 dB
  const Sizes s = sizes_for(1, kMeasure);
  const auto at0 = bars(loud, 190, s);
  EXPECT_EQ(at0[0].rect.height(), 15);  // 0.675 × 14 + 6 = 15.45
  EXPECT_EQ(at0[0].rect.top, (36 - 15) / 2);
  EXPECT_EQ(at0[0].rgb, 0xF8D088u);
  EXPECT_EQ(at0[1].rect.left, 10 + 7);  // rnd(6.5)
  loud.animation_time = 0.4f;
  const auto later = bars(loud, 190, s);
  EXPECT_NE(later[0].rect.height(), at0[0].rect.height());

  OverlayFields resting = loud;
  resting.phase = "processing";
  for (const Bar& b : bars(resting, 190, s)) {
    EXPECT_EQ(b.rect.height(), 8);
    EXPECT_EQ(b.rgb, 0x56482Fu);  // 0.35 of (248, 208, 136)
  }
  // A window narrower than the bars cuts them.
  EXPECT_EQ(bars(quiet, 12, s)[0].rect.right, 12);
}

TEST(OverlayLayout, HintLines) {
  EXPECT_EQ(hint_text("listening", 0.5), "松开上屏 · Esc 取消");
  EXPECT_EQ(hint_text("starting", 2.5), "在听… 3s · 松开上屏 · Esc 取消");
  EXPECT_EQ(hint_text("processing", 9), "识别中…");
  EXPECT_EQ(hint_text("inserting", 9), "上屏中…");
  EXPECT_EQ(hint_text("done", 9), "");
  EXPECT_EQ(hint_text("error", 9), "");
  const int bright[] = {200, 220, 90};
  const int dark[] = {20, 30, 250};
  EXPECT_EQ(hint_grey(bright, 3, false), 51);
  EXPECT_EQ(hint_grey(dark, 3, true), 242);
  EXPECT_EQ(hint_grey(nullptr, 0, true), 51);
  EXPECT_EQ(hint_grey(nullptr, 0, false), 242);
  EXPECT_EQ(luma(255, 255, 255), 255);
}

TEST(OverlayPixels, PanelBadgeCornersAndHintStrip) {
  OverlayFields st = live("x");
  st.profile_name = "邮件";
  const Frame f = compose(st, 1, kWork, kMeasure);
  std::vector<std::uint32_t> buf(static_cast<std::size_t>(f.W) * f.H);
  const Pixels px{buf.data(), f.W, f.H};
  paint_shapes(px, f);
  ASSERT_TRUE(f.badge);
  const Rect b = *f.badge;
  EXPECT_EQ(b.left, 40 + 10);
  EXPECT_EQ(px.at(b.left + 11, b.top + 11), 0xFF5B5B5Fu);  // 0.82c + 45.9 of (56, 56, 61)
  EXPECT_EQ(px.at(b.left, b.top), 0xFF000000u | kPanelRgb);  // rounded off
  EXPECT_EQ(px.at(5, 50), 0xFF000000u);                      // hint strip starts black

  px.at(f.W / 2, 45) = 0xFFFFFFFFu;  // a white hint pixel
  px.at(f.W / 2 + 1, 45) = 0xFF202020u;  // a faint fringe
  alpha_pass(px, f, 51);
  EXPECT_EQ(px.at(0, 0), 0u);                                  // outside the rounded corner
  EXPECT_EQ(px.at(f.W / 2, 1), 0xF0343439u);                   // premultiplied with 240
  EXPECT_EQ(px.at(f.W / 2, 45), 0xFF333333u);                  // full strength, grey 51
  EXPECT_EQ(px.at(f.W / 2 + 1, 45), 0u);                       // below 24: dropped
  EXPECT_EQ(px.at(5, 50), 0u);
}

TEST(OverlayModes, ScaleArgument) {
  EXPECT_EQ(overlay_scale_percent("1.5"), 150);
  EXPECT_EQ(overlay_scale_percent("150"), 150);
  EXPECT_EQ(overlay_scale_percent("1"), 100);
  EXPECT_EQ(overlay_scale_percent("abc"), std::nullopt);
  EXPECT_EQ(overlay_scale_percent("-2"), std::nullopt);
  EXPECT_EQ(overlay_scale_percent(std::nullopt), std::nullopt);
}

namespace {

struct FakePlatform : OverlayPlatform {
  CaretProbe probe{700, 400, ProbeKind::Upper};
  double scale = 1;
  int draws = 0, shows = 0, hides = 0;
  Frame last;
  CaretProbe caret_probe() override { return probe; }
  std::optional<std::pair<int, int>> cursor() override { return std::pair{10, 10}; }
  double dpi_scale(int, int) override { return scale; }
  Rect work_area(int, int) override { return kWork; }
  int text_width(std::string_view t, int h) override { return fake_width(t, h); }
  void draw(const Frame& f) override {
    ++draws;
    last = f;
  }
  void show() override { ++shows; }
  void hide() override { ++hides; }
};

struct ManualScheduler : Scheduler {
  std::vector<std::function<void()>> queued;
  void after(std::chrono::milliseconds, std::function<void()> w) override { queued.push_back(std::move(w)); }
};

struct Overlay : ::testing::Test {
  OverlayModel model;
  OverlayTiming timing;
  ManualScheduler scheduler;
  FakePlatform platform;
  std::vector<std::string> logs;
  std::unique_ptr<StatusOverlay> overlay;

  void make(int percent = 0) {
    overlay = std::make_unique<StatusOverlay>(
        model, timing, scheduler, platform,
        OverlaySinks{[this](std::string_view t) { logs.emplace_back(t); }, [](std::string_view) {},
                     [] { return false; }},
        percent, /*animate=*/false);
  }
  void SetUp() override { make(); }
};

}  // namespace

TEST_F(Overlay, LevelIsSmoothedAndEveryChangeRenders) {
  overlay->set_level(1, 2);
  EXPECT_FLOAT_EQ(model.level, 0.4f);
  overlay->set_level(1, 3);
  EXPECT_FLOAT_EQ(model.level, 0.64f);
  EXPECT_EQ(model.secs, 3);
  EXPECT_EQ(platform.draws, 2);
  overlay->show_profile("✉", "邮件");
  EXPECT_EQ(platform.draws, 2);  // the badge waits for the next render
  EXPECT_EQ(model.profile_name, "邮件");
}

TEST_F(Overlay, RenderGrowsTheStoredWidthAndUsesTheScale) {
  {
    std::lock_guard lock(model.mu);
    model.phase = "listening";
    model.text = han(5);
  }
  platform.scale = 1.5;
  overlay->repaint();
  EXPECT_EQ(platform.last.H, 84);
  const int grown = model.width;
  EXPECT_GT(grown, 190);
  {
    std::lock_guard lock(model.mu);
    model.text = "a";
  }
  overlay->repaint();
  EXPECT_EQ(model.width, grown);

  make(100);  // a fixed scale wins over the monitor's
  overlay->repaint();
  EXPECT_EQ(platform.last.H, 56);
}

TEST_F(Overlay, EachTipHidesOnlyItself) {
  overlay->show_tip("麦克风打不开");
  EXPECT_EQ(model.phase, "error");
  EXPECT_EQ(model.width, 216);  // 13 × 6 + 8 is below the minimum; the text needs 216
  EXPECT_TRUE(model.has_anchor);
  EXPECT_EQ(model.anchor_x, 700);
  EXPECT_EQ(logs.back(), "OVERLAY 错误提示：麦克风打不开");
  EXPECT_TRUE(timing.tip_active(OverlayTiming::Clock::now()));
  EXPECT_EQ(platform.shows, 1);

  platform.probe.kind = ProbeKind::None;
  overlay->show_tip("abcdefghij abcdefghij abcdefgh");
  EXPECT_EQ(model.width, 398);  // 13 × 30 + 8, wider than the text needs
  EXPECT_FALSE(model.has_anchor);
  ASSERT_EQ(scheduler.queued.size(), 2u);
  scheduler.queued[0]();  // the first tip's time is up: the second stays
  EXPECT_EQ(platform.hides, 0);
  EXPECT_TRUE(timing.tip_active(OverlayTiming::Clock::now()));
  scheduler.queued[1]();
  EXPECT_EQ(platform.hides, 1);
  EXPECT_FALSE(timing.tip_active(OverlayTiming::Clock::now()));
}

TEST_F(Overlay, NoticesLookLikeTipsWithoutTheAlarm) {
  overlay->show_notice("到 60 秒上限了");
  EXPECT_EQ(model.phase, "notice");
  EXPECT_EQ(logs.back(), "OVERLAY 提示：到 60 秒上限了");
  EXPECT_EQ(platform.last.main_text, "到 60 秒上限了");
  EXPECT_EQ(platform.last.panel_alpha, 240);
  EXPECT_EQ(platform.last.hint, "");
}

TEST_F(Overlay, AnimationClockRunsOutsideIdleAndRendersOnlyWhileLive) {
  EXPECT_FALSE(overlay->animation_step());
  EXPECT_EQ(model.animation_time, 0);
  {
    std::lock_guard lock(model.mu);
    model.phase = "listening";
  }
  for (int i = 0; i < 15; ++i) EXPECT_TRUE(overlay->animation_step());
  EXPECT_FALSE(model.blink);
  EXPECT_TRUE(overlay->animation_step());  // 16 × 33 ms ≥ 0.5 s
  EXPECT_TRUE(model.blink);
  {
    std::lock_guard lock(model.mu);
    model.phase = "processing";
  }
  EXPECT_FALSE(overlay->animation_step());
  EXPECT_NEAR(model.animation_time, 17 * 0.033, 1e-4);
}

TEST(OverlayThread, AnimatesWhileLiveAndSleepsOtherwise) {
  OverlayModel model;
  OverlayTiming timing;
  ManualScheduler scheduler;
  FakePlatform platform;
  StatusOverlay overlay(model, timing, scheduler, platform,
                        {[](std::string_view) {}, [](std::string_view) {}, [] { return false; }});
  {
    std::lock_guard lock(model.mu);
    model.phase = "listening";
  }
  overlay.repaint();
  // The clock moves without further calls.
  for (int i = 0; i < 200 && model.snapshot().animation_time == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GT(model.snapshot().animation_time, 0);
  {
    std::lock_guard lock(model.mu);
    model.phase = "done";
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const float stopped = model.snapshot().animation_time;
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(model.snapshot().animation_time, stopped);
}
