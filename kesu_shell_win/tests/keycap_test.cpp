#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keycap/key_capture.h"

namespace kesu::shell {
namespace {

using Kind = KeyDecision::Kind;

constexpr unsigned kShift = 16, kCtrl = 17, kAlt = 18, kEsc = 27, kSpace = 32;
constexpr unsigned kLeftWin = 91, kRightWin = 92, kPrintScreen = 44;

KeyMessage down(unsigned vk, bool extended = false) { return {KeyEvent::down, vk, extended}; }
KeyMessage up(unsigned vk, bool extended = false) { return {KeyEvent::up, vk, extended}; }
KeyMessage sys_down(unsigned vk, bool extended = false) {
  return {KeyEvent::sys_down, vk, extended};
}
KeyMessage sys_up(unsigned vk, bool extended = false) { return {KeyEvent::sys_up, vk, extended}; }

const ModifierState kNone{};
const ModifierState kCtrlHeld{.ctrl = true};
const ModifierState kAltHeld{.alt = true};
const ModifierState kShiftHeld{.shift = true};
const ModifierState kCtrlAlt{.ctrl = true, .alt = true};

KeyDecision recorded(std::string value) { return {Kind::recorded, std::move(value), {}}; }
KeyDecision refused(std::string value, std::string shown) {
  return {Kind::refused, std::move(value), "「" + shown + "」不能用，换一个"};
}
const KeyDecision kWait{};

TEST(KeyCapKeys, ModifierCodes) {
  // Boundaries on both sides of each range: generic Shift/Ctrl/Alt, the Windows keys, and the
  // side-specific codes.
  for (unsigned vk : {16u, 17u, 18u, 91u, 92u, 160u, 165u}) EXPECT_TRUE(is_modifier_key(vk)) << vk;
  for (unsigned vk : {15u, 19u, 90u, 93u, 159u, 166u}) EXPECT_FALSE(is_modifier_key(vk)) << vk;
}

TEST(KeyCapKeys, Names) {
  struct Case {
    unsigned vk;
    bool extended;
    bool right_ctrl;
    std::optional<std::string> name;
  };
  const Case cases[] = {
      {9, false, false, "TAB"},
      {13, false, false, "ENTER"},
      {16, true, false, "SHIFT"},  // either side
      {17, false, false, "CTRL_L"},
      {17, true, true, "CTRL_R"},
      {18, false, false, "ALT_L"},
      {18, true, false, "ALT_R"},
      {27, false, false, "ESC"},
      {32, false, false, "SPACE"},
      {37, true, false, "LEFT"},
      {38, true, false, "UP"},
      {39, true, false, "RIGHT"},
      {40, true, false, "DOWN"},
      {91, true, false, "WIN"},
      {92, true, false, "WIN_R"},
      {48, false, false, "0"},
      {57, false, false, "9"},
      {65, false, false, "A"},
      {90, false, false, "Z"},
      {112, false, false, "F1"},
      {124, false, false, "F13"},
      {135, false, false, "F24"},
      // Around the ranges, and keys the notation might know but the control does not name.
      {47, false, false, std::nullopt},
      {58, false, false, std::nullopt},
      {64, false, false, std::nullopt},
      {111, false, false, std::nullopt},
      {136, false, false, std::nullopt},
      {8, false, false, std::nullopt},  // Backspace
      {kPrintScreen, false, false, std::nullopt},
      {160, false, false, std::nullopt},
      {165, true, false, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(key_name(c.vk, c.extended, c.right_ctrl), c.name) << c.vk;
  }
}

TEST(KeyCapRecording, Decisions) {
  struct Case {
    const char* what;
    KeyMessage message;
    ModifierState modifiers;
    KeyDecision decision;
  };
  const Case cases[] = {
      {"right Alt released", sys_up(kAlt, true), kNone, recorded("ALT_R")},
      {"left Alt released", sys_up(kAlt), kNone, recorded("ALT_L")},
      {"right Alt pressed", sys_down(kAlt, true), kAltHeld, kWait},
      {"Ctrl pressed", down(kCtrl), kCtrlHeld, kWait},
      {"left Ctrl released", up(kCtrl), kNone, recorded("CTRL_L")},
      // At its own release the right Ctrl no longer shows as down: its extended bit tells.
      {"right Ctrl released", up(kCtrl, true), kNone, recorded("CTRL_R")},
      {"left Ctrl released, right held",
       up(kCtrl),
       {.ctrl = true, .right_ctrl = true},
       recorded("CTRL_R")},
      {"Shift released", up(kShift), kNone, recorded("SHIFT")},
      {"a modifier alone ignores the others held", up(kShift), kCtrlAlt, recorded("SHIFT")},
      {"left Win released", up(kLeftWin, true), kNone, recorded("WIN")},
      {"right Win released", up(kRightWin, true), kNone, recorded("WIN_R")},
      {"left Win released, right held",
       up(kLeftWin, true),
       {.win = true, .right_win = true},
       recorded("WIN+WIN")},
      {"side-specific code released", up(0xA5, true), kNone, kWait},
      {"Ctrl+Alt+Space", sys_down(kSpace), kCtrlAlt, recorded("CTRL+ALT+SPACE")},
      {"Shift+F13", down(124), kShiftHeld, recorded("SHIFT+F13")},
      {"prefix order",
       down('K'),
       {.ctrl = true, .alt = true, .shift = true, .win = true},
       recorded("CTRL+ALT+SHIFT+WIN+K")},
      {"F20 is the last usable", down(131), kNone, recorded("F20")},
      {"Enter", down(13), kNone, recorded("ENTER")},
      {"Alt+Tab as a system key", sys_down(9), kAltHeld, recorded("ALT+TAB")},
      {"Print Screen", down(kPrintScreen), kNone, kWait},
      {"release of an ordinary key", up('A'), kNone, kWait},
      {"Esc", down(kEsc), kNone, refused("ESC", "Esc")},
      {"Ctrl+Esc", down(kEsc), kCtrlHeld, refused("CTRL+ESC", "Ctrl+Esc")},
      {"F21", down(132), kNone, refused("F21", "F21")},
      {"Shift+F24", down(135), kShiftHeld, refused("SHIFT+F24", "Shift+F24")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decide_key(c.message, c.modifiers), c.decision) << c.what;
  }
  for (unsigned vk = 132; vk <= 135; ++vk) {
    EXPECT_EQ(decide_key(down(vk), kNone).kind, Kind::refused) << vk;
  }
}

TEST(KeyCapDisplay, Forms) {
  const std::pair<const char*, const char*> cases[] = {
      {"ALT_R", "右 Alt"},
      {"ALT_L", "左 Alt"},
      {"CTRL_R", "右 Ctrl"},
      {"CTRL_L", "左 Ctrl"},
      {"WIN", "Win"},
      {"SHIFT", "Shift"},
      {"CTRL+ALT+SPACE", "Ctrl+Alt+空格"},
      {"SHIFT+F13", "Shift+F13"},
      {"CTRL_R+WIN+UP", "Ctrl+Win+↑"},
      {"ALT_L+DOWN", "Alt+↓"},
      {"LEFT", "←"},
      {"RIGHT", "→"},
      {"TAB", "Tab"},
      {"ESC", "Esc"},
      {"ENTER", "Enter"},
      {"F13", "F13"},
      {"CMD+A", "A"},  // an unknown prefix is left out
      {"WIN+WIN", "Win+WIN"},
      {"SPACE", "空格"},
  };
  for (const auto& [value, shown] : cases) EXPECT_EQ(key_display_form(value), shown) << value;
}

TEST(KeyCapPaint, CaptionAndBorder) {
  using namespace keycap_colour;
  EXPECT_EQ(key_capture_caption(true, "ALT_R", ""), (KeyCapCaption{"按下要用的键…", kHint}));
  EXPECT_EQ(key_capture_caption(false, "", ""), (KeyCapCaption{"点这里，然后按键", kHint}));
  EXPECT_EQ(key_capture_caption(false, "CTRL+ALT+SPACE", ""),
            (KeyCapCaption{"Ctrl+Alt+空格", kValue}));
  EXPECT_EQ(key_capture_caption(true, "", "「Esc」不能用，换一个"),
            (KeyCapCaption{"「Esc」不能用，换一个", kRefusal}));
  // A refusal belongs to the armed control only.
  EXPECT_EQ(key_capture_caption(false, "F13", "「Esc」不能用，换一个"),
            (KeyCapCaption{"F13", kValue}));

  EXPECT_EQ(key_capture_border(true), (KeyCapBorder{2, kFocusBorder}));
  EXPECT_EQ(key_capture_border(false), (KeyCapBorder{1, kBorder}));
  EXPECT_EQ(keycap_scaled(kKeyCapFontHeight, 1.0f), 14);
  EXPECT_EQ(keycap_scaled(kKeyCapFontHeight, 1.25f), 18);  // 17.5 rounds up
  EXPECT_EQ(keycap_scaled(kKeyCapCorner, 1.5f), 9);
}

struct Step {
  KeyMessage message;
  ModifierState modifiers;
};

// Feeds the steps and counts the values recorded.
int press(KeyCapture& control, const std::vector<Step>& steps) {
  int recorded = 0;
  for (const Step& s : steps) recorded += control.key(s.message, s.modifiers) ? 1 : 0;
  return recorded;
}

TEST(KeyCapControl, RecordsOnceThenRestsUntilFocused) {
  KeyCapture control("F13");
  EXPECT_EQ(press(control, {{sys_down(kAlt, true), kAltHeld}, {sys_up(kAlt, true), kNone}}), 0)
      << "not armed without the focus";
  EXPECT_EQ(control.value(), "F13");

  control.focus_gained();
  EXPECT_TRUE(control.armed());
  EXPECT_EQ(press(control, {{sys_down(kAlt, true), kAltHeld}, {sys_up(kAlt, true), kNone}}), 1);
  EXPECT_EQ(control.value(), "ALT_R");
  EXPECT_FALSE(control.armed());
  EXPECT_EQ(control.caption(), (KeyCapCaption{"右 Alt", keycap_colour::kValue}));

  // Ctrl+Alt+Space records at Space; the releases that follow find the control at rest.
  control.focus_gained();
  EXPECT_EQ(press(control, {{down(kCtrl), kCtrlHeld},
                            {sys_down(kAlt), kCtrlAlt},
                            {sys_down(kSpace), kCtrlAlt},
                            {sys_up(kSpace), kCtrlAlt},
                            {sys_up(kAlt), kCtrlHeld},
                            {up(kCtrl), kNone}}),
            1);
  EXPECT_EQ(control.value(), "CTRL+ALT+SPACE");
  EXPECT_EQ(control.caption().text, "Ctrl+Alt+空格");
}

TEST(KeyCapControl, FocusLossAndUnnamedKeysKeepTheValue) {
  KeyCapture control("ALT_R");
  control.focus_gained();
  EXPECT_EQ(press(control, {{down(kPrintScreen), kNone}, {up(kPrintScreen), kNone}}), 0);
  EXPECT_TRUE(control.armed());

  EXPECT_EQ(press(control, {{down(kShift), kShiftHeld}}), 0);
  control.focus_lost();
  EXPECT_FALSE(control.armed());
  EXPECT_EQ(press(control, {{up(kShift), kNone}}), 0);
  EXPECT_EQ(control.value(), "ALT_R");
  EXPECT_EQ(control.caption().text, "右 Alt");
}

TEST(KeyCapControl, RefusalStaysArmedAndShowsUntilTheNextKey) {
  KeyCapture control("ALT_R");
  control.focus_gained();
  EXPECT_EQ(press(control, {{down(kEsc), kNone}, {up(kEsc), kNone}}), 0);
  EXPECT_TRUE(control.armed());
  EXPECT_EQ(control.value(), "ALT_R");
  EXPECT_EQ(control.caption(),
            (KeyCapCaption{"「Esc」不能用，换一个", keycap_colour::kRefusal}));

  // The next key press takes the message away.
  EXPECT_EQ(press(control, {{down(kCtrl), kCtrlHeld}}), 0);
  EXPECT_EQ(control.caption().text, kKeyCapArmedText);

  // A refused combination: letting go of its modifiers records nothing …
  EXPECT_EQ(press(control, {{down(135), kCtrlHeld}, {up(135), kCtrlHeld}, {up(kCtrl), kNone}}), 0);
  EXPECT_EQ(control.value(), "ALT_R");
  EXPECT_EQ(control.caption().text, "「Ctrl+F24」不能用，换一个");
  // … and the next lone modifier records again.
  EXPECT_EQ(press(control, {{sys_down(kAlt), kAltHeld}, {sys_up(kAlt), kNone}}), 1);
  EXPECT_EQ(control.value(), "ALT_L");

  // The same for a combination with a key that has no name, and focus clears the message.
  control.focus_gained();
  EXPECT_EQ(
      press(control,
            {{down(kShift), kShiftHeld}, {down(kPrintScreen), kShiftHeld}, {up(kShift), kNone}}),
      0);
  EXPECT_EQ(press(control, {{down(kEsc), kNone}}), 0);
  control.focus_lost();
  control.focus_gained();
  EXPECT_EQ(control.caption().text, kKeyCapArmedText);
}

TEST(KeyCapControl, OwnerPresetIsStoredAsGiven) {
  KeyCapture control("");
  EXPECT_EQ(control.caption().text, kKeyCapEmptyText);
  control.set_value("CMD+A");
  EXPECT_EQ(control.value(), "CMD+A");
  EXPECT_EQ(control.caption().text, "A");
}

}  // namespace
}  // namespace kesu::shell
