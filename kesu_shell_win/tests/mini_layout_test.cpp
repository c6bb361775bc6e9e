#include "tray/mini_layout.h"

#include <gtest/gtest.h>

namespace kesu::shell {
namespace {

TEST(MiniScale, PercentFromDpi) {
  EXPECT_EQ(mini_scale_percent(0), 100);  // unknown
  EXPECT_EQ(mini_scale_percent(96), 100);
  EXPECT_EQ(mini_scale_percent(120), 125);
  EXPECT_EQ(mini_scale_percent(144), 150);
  EXPECT_EQ(mini_scale_percent(100), 104);  // 104.17 rounds down
  EXPECT_EQ(mini_scale_percent(97), 101);   // 101.04
}

TEST(MiniGeometry, SizeAndPlacement) {
  const MiniLayout normal(100);
  EXPECT_EQ(normal.width(), 170);
  EXPECT_EQ(normal.height(), 230);
  EXPECT_EQ(normal.position({0, 0, 1920, 1040}), (MiniPoint{1920 - 170 - 18, 1040 - 230 - 78}));

  const MiniLayout large(150);
  EXPECT_EQ(large.width(), 255);
  EXPECT_EQ(large.height(), 345);
  EXPECT_EQ(large.position({100, 0, 2660, 1400}), (MiniPoint{2660 - 255 - 27, 1400 - 345 - 117}));
  EXPECT_EQ(large.corner(), 21);
  EXPECT_EQ(large.button_centre(), (MiniPoint{127, 138}));
  EXPECT_EQ(large.button_radius(), 57);
  EXPECT_EQ(large.click_radius(), 66);
  EXPECT_EQ(large.saved_rect(), (MiniRect{12, 261, 243, 291}));
  EXPECT_EQ(large.settings_rect(), (MiniRect{0, 297, 255, 333}));
  EXPECT_EQ(large.close_rect(), (MiniRect{210, 9, 243, 42}));
  EXPECT_EQ(large.mic_rect(), (MiniRect{91, 102, 163, 174}));
  EXPECT_EQ(large.text_font_size(), 18);

  // 125 %: halves round away from zero (12.5 → 13).
  EXPECT_EQ(MiniLayout(125).scale(10), 13);
  EXPECT_EQ(MiniLayout(0).percent(), 100);
}

TEST(MiniStatus, LinesByPhase) {
  const MiniLayout l(100);
  const std::vector<MiniTextLine> listening{{"正在听，点击停止", {8, 142, 162, 166}}};
  const std::vector<MiniTextLine> working{{"识别中…", {8, 142, 162, 166}}};
  const std::vector<MiniTextLine> idle{{"按 右 Alt", {6, 138, 164, 160}},
                                       {"或点击开始", {6, 158, 164, 180}}};
  EXPECT_EQ(l.status_lines("listening", "右 Alt"), listening);
  EXPECT_EQ(l.status_lines("starting", "右 Alt"), listening);
  for (const char* p : {"processing", "inserting", "polishing", "decoding"}) {
    EXPECT_EQ(l.status_lines(p, "右 Alt"), working) << p;
  }
  // Before the first state event the phase is empty: the card invites a start.
  for (const char* p : {"", "idle", "done", "error"}) {
    EXPECT_EQ(l.status_lines(p, "右 Alt"), idle) << p;
  }
}

TEST(MiniButton, ActionAndLookByPhase) {
  struct Case {
    const char* phase;
    MiniButtonAction action;
    bool recording;
  };
  const Case cases[] = {
      {"listening", MiniButtonAction::Stop, true},
      {"starting", MiniButtonAction::Stop, true},
      {"idle", MiniButtonAction::Start, false},
      {"done", MiniButtonAction::Start, false},
      {"", MiniButtonAction::Start, false},  // no state event yet: as idle
      {"processing", MiniButtonAction::Nothing, false},
      {"inserting", MiniButtonAction::Nothing, false},
      {"error", MiniButtonAction::Nothing, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mini_button_action(c.phase), c.action) << c.phase;
    EXPECT_EQ(mini_button_recording(c.phase), c.recording) << c.phase;
  }
}

TEST(MiniSaved, Text) {
  EXPECT_EQ(mini_saved_text(80), "今日已节省 80 分");
  EXPECT_EQ(mini_saved_text(0), "今日已节省 0 分");
}

TEST(MiniHitTest, ClicksAndDragAreas) {
  const MiniLayout l(100);  // button centre (85, 92), click radius 44
  struct Case {
    int x, y;
    MiniClick click;
    const char* why;
  };
  const Case cases[] = {
      {85, 92, MiniClick::Button, "button centre"},
      {85 + 44, 92, MiniClick::Button, "on the click radius"},
      {85 + 45, 92, MiniClick::Nothing, "just outside the click radius"},
      {85 + 31, 92 + 31, MiniClick::Button, "diagonal inside (31² + 31² < 44²)"},
      {85 + 32, 92 + 32, MiniClick::Nothing, "diagonal outside"},
      {169, 0, MiniClick::Close, "top right corner"},
      {136, 30, MiniClick::Close, "close area's lower left limit"},
      {135, 10, MiniClick::Nothing, "left of the close area"},
      {150, 31, MiniClick::Nothing, "below the close area"},
      {85, 210, MiniClick::Settings, "settings centre"},
      {85 - 18, 210 + 18, MiniClick::Settings, "settings reach"},
      {85 + 19, 210, MiniClick::Nothing, "beside the settings glyph"},
      {85, 191, MiniClick::Nothing, "above the settings glyph"},
      {20, 20, MiniClick::Nothing, "card body"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(l.click(c.x, c.y), c.click) << c.why;
    EXPECT_EQ(l.hit_test(c.x, c.y),
              c.click == MiniClick::Nothing ? MiniHit::Caption : MiniHit::Client)
        << c.why;
  }
  // At 150 % the areas scale: the top right corner of the larger card still closes it.
  const MiniLayout large(150);
  EXPECT_EQ(large.click(254, 0), MiniClick::Close);
  EXPECT_EQ(large.click(127, 315), MiniClick::Settings);
  EXPECT_EQ(large.click(127 + 66, 138), MiniClick::Button);
}

}  // namespace
}  // namespace kesu::shell
