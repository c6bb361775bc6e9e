#include <gtest/gtest.h>

#include <set>

#include "fake_core.h"
#include "main/insertion_target.h"
#include "main/key_handler.h"
#include "main/media_control.h"
#include "main/menu_mask.h"

namespace kesu::shell {
namespace {

using testing::FakeCore;

struct FakeForeground : ForegroundProbe {
  std::string app = "notepad.exe";
  std::uintptr_t window_id = 0x100;
  bool own = false;
  std::string app_name() override { return app; }
  std::uintptr_t window() override { return window_id; }
  bool belongs_to_this_process(std::uintptr_t) override { return own; }
};

struct BadgeOverlay : OverlayView {
  std::vector<std::string> badges;
  void show_profile(std::string_view icon, std::string_view name) override {
    badges.push_back(std::string(icon) + "|" + std::string(name));
  }
};

struct Dictation : ::testing::Test {
  FakeCore core;
  AppState state;
  BadgeOverlay overlay;
  FakeForeground foreground;
  std::vector<std::string> traces, events;
  std::set<std::uint16_t> down;  // keys held, kept from the events as a real key-state would
  HotkeyHolder hotkey;
  SlotKeyList slots;
  bool masked = false;
  std::unique_ptr<PushToTalk> ptt;
  std::unique_ptr<KeyHandler> keys;

  void SetUp() override {
    state.core = core.binding();
    state.views.overlay = &overlay;
    hotkey.set(*parse_hotkey("ALT_R"));
    build();
  }
  // A fresh controller and handler, nothing held.
  void build() {
    set_insertion_target(0);
    core.calls.clear();
    events.clear();
    traces.clear();
    down.clear();
    PushToTalkSinks sinks;
    sinks.trace = [this](std::string_view t) { traces.emplace_back(t); };
    sinks.raw_debug = [](std::string_view) {};
    sinks.raw_debug_on = [] { return false; };
    sinks.after_hotkey_down = [this] { masked = true; };
    keys.reset();
    ptt = std::make_unique<PushToTalk>(state, foreground, sinks);
    KeyHandlerPorts ports;
    ports.is_down = [this](std::uint16_t vk) { return down.count(vk) > 0; };
    ports.cancel = [this] { events.push_back("cancel"); };
    ports.open_palette = [this] { events.push_back("palette"); };
    ports.switch_profile = [this](const SlotKey& s) { events.push_back("slot " + s.name); };
    ports.raw_debug = [](std::string_view) {};
    ports.raw_debug_on = [] { return false; };
    keys = std::make_unique<KeyHandler>(hotkey, slots, *ptt, ports);
  }
  // One key event, with the held-key set updated the way the system's key state would be.
  void key(std::uint16_t vk, bool release, bool extended = false) {
    const std::uint16_t n = normalise_key(vk, extended);
    if (release) {
      down.erase(n);
    } else {
      down.insert(n);
    }
    keys->on_key(vk, release, extended);
  }
  std::size_t count(const std::string& call) const {
    return static_cast<std::size_t>(std::count(core.calls.begin(), core.calls.end(), call));
  }
};

TEST_F(Dictation, HoldingTheKeyGivesOneTalkDownAndOneTalkUpAcrossBothSources) {
  key(0xA5, false, true);  // hook
  key(0x12, false, true);  // Raw Input's copy: generic Alt with E0
  for (int i = 0; i < 5; ++i) key(0xA5, false, true);  // auto-repeat
  key(0xA5, true, true);
  key(0x12, true, true);
  EXPECT_EQ(core.calls, (std::vector<std::string>{"note_foreground_app notepad.exe", "hotkey_down", "hotkey_up"}));
  EXPECT_EQ(std::count(traces.begin(), traces.end(), "talk_down-out"), 1);
  EXPECT_EQ(std::count(traces.begin(), traces.end(), "talk_up-out"), 1);
  EXPECT_EQ(insertion_target(), 0x100u);
  EXPECT_TRUE(masked);
  EXPECT_FALSE(ptt->held());
}

TEST_F(Dictation, KeyTable) {
  struct Case {
    const char* name;
    std::vector<std::tuple<std::uint16_t, bool, bool>> keys;  // vk, release, extended
    std::vector<std::string> events;
    std::size_t downs;
  };
  slots.set(parse_slot_keys(
      R"({"profiles":[{"name":"正式","slot":"CTRL+ALT+E"},{"name":"口语","slot":"CTRL+SHIFT+1"}]})",
      [](std::string_view) {}));
  const std::vector<Case> cases{
      {"left Alt satisfies ALT_R", {{0xA4, false, false}, {0xA4, true, false}}, {}, 1},
      {"Esc cancels, also when idle", {{0x1B, false, false}, {0x1B, true, false}}, {"cancel"}, 0},
      {"left Ctrl + left Alt + E opens the palette before the slot",
       {{0xA2, false, false}, {0xA4, false, false}, {0x45, false, false}}, {"palette"}, 1},
      {"right Ctrl + right Alt + E: no palette, the slot matches",
       {{0xA3, false, true}, {0xA5, false, true}, {0x45, false, false}}, {"slot 正式"}, 1},
      {"Shift from Raw Input reads as left Shift for the slot",
       {{0xA2, false, false}, {0x10, false, false}, {0x31, false, false}}, {"slot 口语"}, 0},
  };
  for (const Case& c : cases) {
    build();
    for (const auto& [vk, release, extended] : c.keys) key(vk, release, extended);
    EXPECT_EQ(events, c.events) << c.name;
    EXPECT_EQ(count("hotkey_down"), c.downs) << c.name;
  }
}

TEST_F(Dictation, ShellInputOnRawInputStartsNoPhantomDictation) {
  // A Ctrl push-to-talk key and the paste's synthesised Ctrl: the hook never sees injected keys,
  // and Raw Input records without a device or during the shell's own input are dropped.
  hotkey.set(*parse_hotkey("CTRL_R"));
  EXPECT_FALSE(accept_raw_input(false, false));
  EXPECT_FALSE(accept_raw_input(true, true));
  EXPECT_TRUE(accept_raw_input(true, false));
  // Were it accepted, the synthesised left Ctrl would match CTRL_R (side-agnostic).
  key(0x11, false, false);
  EXPECT_EQ(count("hotkey_down"), 1u);
}

TEST_F(Dictation, ControllerTable) {
  struct Case {
    const char* name;
    std::string phase;
    bool core_loaded;
    bool own_foreground;
    std::vector<std::string> steps;  // press, release, mini, idle
    std::vector<std::string> calls;
    bool held_after;
  };
  const std::vector<Case> cases{
      {"mini click while idle starts", "idle", true, false, {"mini"},
       {"note_foreground_app notepad.exe", "hotkey_down"}, true},
      {"mini click while listening stops", "listening", true, false, {"press", "mini"},
       {"note_foreground_app notepad.exe", "hotkey_down", "hotkey_up"}, false},
      {"mini click while processing does nothing", "processing", true, false, {"mini"}, {}, false},
      {"idle from mini clears held", "idle", true, false, {"mini", "idle"},
       {"note_foreground_app notepad.exe", "hotkey_down"}, false},
      {"release without press", "idle", true, false, {"release"}, {}, false},
      {"no core: held changes, nothing called", "idle", false, false, {"press"}, {}, true},
  };
  for (const Case& c : cases) {
    build();
    state.phase = c.phase;
    if (!c.core_loaded) state.core.reset();
    for (const std::string& step : c.steps) {
      if (step == "press") ptt->hotkey_press();
      if (step == "release") ptt->talk_up();
      if (step == "mini") ptt->mini_click();
      if (step == "idle") ptt->idle_from_mini();
    }
    EXPECT_EQ(core.calls, c.calls) << c.name;
    EXPECT_EQ(ptt->held(), c.held_after) << c.name;
    state.core = core.binding();
  }
  // The mini window marks its dictations, so the idle phase can end them.
  build();
  state.phase = "done";
  ptt->mini_click();
  EXPECT_EQ(ptt->origin(), Origin::Mini);
}

TEST_F(Dictation, OwnWindowKeepsThePreviousTargetAndTheBadgeShowsTheActiveProfile) {
  core.profiles = R"({"profiles":[{"name":"正式","icon":"📝"},{"name":"聊天","icon":"💬","active":true}]})";
  ptt->hotkey_press();
  ptt->talk_up();
  foreground.own = true;
  foreground.window_id = 0x200;
  foreground.app = "kesu.exe";
  ptt->hotkey_press();
  EXPECT_EQ(insertion_target(), 0x100u);
  EXPECT_EQ(core.calls[core.calls.size() - 2], "note_foreground_app kesu.exe");
  EXPECT_EQ(overlay.badges.back(), "💬|聊天");
  EXPECT_EQ(active_profile(R"({"profiles":[{"name":"a"}]})").name, "");
  EXPECT_EQ(active_profile(R"({"active":"旧档"})").name, "旧档");
  EXPECT_EQ(active_profile("not json").name, "");
}

TEST(SlotKeys, OnlyCombinationsWithShiftCtrlOrAlt) {
  std::vector<std::string> warnings;
  const auto keys = parse_slot_keys(
      R"({"profiles":[{"name":"甲","slot":"F9"},{"name":"乙","slot":" CTRL+ALT+1 "},{"name":"丙","slot":"WIN+1"},)"
      R"({"name":"","slot":"CTRL+2"},{"name":"丁","slot":""},{"name":"戊","slot":"CTRL+"}]})",
      [&](std::string_view w) { warnings.emplace_back(w); });
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].name, "乙");
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "[kesu] 档「甲」的快捷键槽 F9 不是组合键，已忽略",
                          "[kesu] 档「丙」的快捷键槽 WIN+1 不是组合键，已忽略",
                          "[kesu] 档「戊」的快捷键槽 CTRL+ 不是组合键，已忽略"}));
  EXPECT_TRUE(parse_slot_keys("[]", [](std::string_view) {}).empty());
}

TEST(MenuMask, OnlyForAnAltOrWindowsMainKey) {
  for (const auto& [text, mask] : std::vector<std::pair<const char*, bool>>{
           {"ALT_R", true}, {"ALT", true}, {"WIN", true}, {"CTRL+ALT", true},
           {"CTRL_R", false}, {"SHIFT_R", false}, {"CTRL+ALT+SPACE", false}, {"F13", false}}) {
    EXPECT_EQ(needs_menu_mask(*parse_hotkey(text)), mask) << text;
  }
}

struct FakeTransport : MediaTransport {
  PlaybackQuery state{Playback::Playing, ""};
  TransportResult pause_answer{TransportAnswer::Accepted, ""};
  TransportResult play_answer{TransportAnswer::Accepted, ""};
  int plays = 0;
  PlaybackQuery playback() override { return state; }
  TransportResult try_pause() override {
    if (pause_answer.answer == TransportAnswer::Accepted) state = {Playback::NotPlaying, ""};
    return pause_answer;
  }
  TransportResult try_play() override {
    ++plays;
    return play_answer;
  }
};

TEST(Media, PausesOnceAndResumesOnlyWhatItPaused) {
  struct Case {
    const char* name;
    bool enabled;
    PlaybackQuery state;
    TransportResult pause_answer;
    std::vector<std::string> phases;
    std::vector<std::string> log;
    int plays;
  };
  const TransportResult accepted{TransportAnswer::Accepted, ""};
  const std::vector<Case> cases{
      {"pause then resume", true, {Playback::Playing, ""}, accepted,
       {"starting", "listening", "processing", "idle"}, {"MEDIA 已暂停播放", "MEDIA 已恢复播放"}, 1},
      {"nothing playing: silent", true, {Playback::NotPlaying, ""}, accepted, {"starting", "idle"}, {}, 0},
      {"facility missing (Wine): silent", true, {Playback::Unavailable, ""}, accepted,
       {"starting", "listening", "idle"}, {}, 0},
      {"setting off", false, {Playback::Playing, ""}, accepted, {"starting", "idle"}, {}, 0},
      {"refused", true, {Playback::Playing, ""}, {TransportAnswer::Refused, ""}, {"starting", "idle"},
       {"MEDIA 暂停请求被拒绝"}, 0},
      {"failed", true, {Playback::Playing, ""}, {TransportAnswer::Failed, "0x80004005"},
       {"listening", "idle"}, {"MEDIA 暂停失败：0x80004005"}, 0},
  };
  for (const Case& c : cases) {
    FakeTransport transport;
    transport.state = c.state;
    transport.pause_answer = c.pause_answer;
    std::atomic<bool> enabled{c.enabled}, paused{false};
    std::vector<std::string> log;
    MediaControl media(transport, enabled, paused, [&](std::string_view t) { log.emplace_back(t); });
    for (const std::string& p : c.phases) media.on_phase(p);
    EXPECT_EQ(log, c.log) << c.name;
    EXPECT_EQ(transport.plays, c.plays) << c.name;
  }
  EXPECT_TRUE(pause_media_wanted(R"({"pause_media":true})"));
  EXPECT_FALSE(pause_media_wanted(R"({"pause_media":"true"})"));
}

}  // namespace
}  // namespace kesu::shell
