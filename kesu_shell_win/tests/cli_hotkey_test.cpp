#include <gtest/gtest.h>

#include <set>

#include "main/cli.h"
#include "main/hotkey.h"

using namespace kesu::shell;

TEST(DeveloperGate, SwitchesAndKesuDevValues) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> kesu_dev;
    std::optional<std::string> refused;
  };
  const Case cases[] = {
      {{"--history-delete", "7"}, std::nullopt, "--history-delete"},
      {{"--history-delete", "7"}, "1", std::nullopt},
      {{"--history-delete", "7"}, "true", "--history-delete"},  // only "1" counts
      {{"--history-delete", "7"}, "", "--history-delete"},
      {{"--dev", "--dump-config"}, std::nullopt, std::nullopt},
      {{"--version"}, std::nullopt, std::nullopt},
      {{"--self-test", "--decode-wav", "x.wav"}, std::nullopt, "--decode-wav"},
  };
  for (const Case& c : cases) {
    const Args args(c.args);
    const EnvLookup env = [&](const char* name) {
      return std::string(name) == "KESU_DEV" ? c.kesu_dev : std::nullopt;
    };
    EXPECT_EQ(refused_switch(args, developer_mode(args, env)), c.refused) << c.args[0];
  }
  EXPECT_EQ(refused_message("--set-config"), "--set-config 只在开发版可用（启动时加 --dev）");
}

TEST(SwitchTable, NamesAreUniqueAndMarksDriveQuietAndOnboarding) {
  std::set<std::string_view> names;
  for (const SwitchInfo& s : switch_table()) EXPECT_TRUE(names.insert(s.name).second) << s.name;
  EXPECT_TRUE(wants_quiet(Args({"--self-test"})));
  EXPECT_FALSE(wants_quiet(Args({"--version"})));
  EXPECT_TRUE(onboarding_blocked(Args({"--lang"})));
  EXPECT_TRUE(onboarding_blocked(Args({"--no-onboarding"})));
  EXPECT_FALSE(onboarding_blocked(Args({"--open-settings"})));
}

TEST(SwitchTable, UnbuiltSwitchIsNamedNotRun) {
  EXPECT_EQ(unbuilt_switch(Args({"--dev", "--net-check"})), "--net-check");
  EXPECT_EQ(unbuilt_switch(Args({"--version"})), std::nullopt);
  // A value that happens to look like nothing known is no switch.
  EXPECT_EQ(unbuilt_switch(Args({"--hotkey-check", "--bogus"})), std::nullopt);
  EXPECT_EQ(unbuilt_message("--net-check"), "--net-check 尚未实现");
}

TEST(HotkeyNotation, Parse) {
  struct Case {
    const char* text;
    bool valid;
    std::vector<std::uint16_t> mods;
    MainKind kind;
    std::uint16_t main;
  };
  const Case cases[] = {
      {"ALT_R", true, {}, MainKind::Modifier, 0xA5},
      {" ctrl + alt + space ", true, {0xA2, 0xA4}, MainKind::Ordinary, 0x20},
      {"CTRL+SHIFT", true, {0xA2}, MainKind::Modifier, 0xA0},
      {"ctrl+ctrl+a", true, {0xA2, 0xA2}, MainKind::Ordinary, 0x41},
      {"F20", true, {}, MainKind::Ordinary, 0x83},
      {"f05", true, {}, MainKind::Ordinary, 0x74},
      {"F", true, {}, MainKind::Ordinary, 0x46},  // the letter
      {"a", true, {}, MainKind::Ordinary, 0x41},
      {"win+9", true, {0x5B}, MainKind::Ordinary, 0x39},
      {"F21", false, {}, MainKind::Ordinary, 0},
      {"F0", false, {}, MainKind::Ordinary, 0},
      {"FX", false, {}, MainKind::Ordinary, 0},
      {"SPACE+CTRL", false, {}, MainKind::Ordinary, 0},  // ordinary key before the last part
      {"CTRL+", false, {}, MainKind::Ordinary, 0},
      {"+A", false, {}, MainKind::Ordinary, 0},
      {"CTRL++A", false, {}, MainKind::Ordinary, 0},
      {"", false, {}, MainKind::Ordinary, 0},
      {"é", false, {}, MainKind::Ordinary, 0},
  };
  for (const Case& c : cases) {
    const auto spec = parse_hotkey(c.text);
    ASSERT_EQ(spec.has_value(), c.valid) << c.text;
    if (!spec) continue;
    EXPECT_EQ(spec->raw, c.text);
    EXPECT_EQ(spec->modifiers, c.mods) << c.text;
    EXPECT_EQ(spec->main_kind, c.kind) << c.text;
    EXPECT_EQ(spec->main_key, c.main) << c.text;
  }
}

TEST(HotkeyNotation, Match) {
  const auto held = [](std::set<std::uint16_t> down) {
    return [down](std::uint16_t vk) { return down.count(vk) > 0; };
  };
  const HotkeySpec alt_r = *parse_hotkey("ALT_R");
  EXPECT_TRUE(hotkey_matches(alt_r, 0xA4, false, held({})));  // either Alt
  EXPECT_FALSE(hotkey_matches(alt_r, 0xA2, false, held({})));
  const HotkeySpec ctrl_shift = *parse_hotkey("CTRL+SHIFT");
  EXPECT_TRUE(hotkey_matches(ctrl_shift, 0xA1, false, held({0xA3})));  // right Ctrl counts too
  EXPECT_FALSE(hotkey_matches(ctrl_shift, 0xA0, false, held({})));
  EXPECT_TRUE(hotkey_matches(ctrl_shift, 0xA0, true, held({})));  // release after letting go
  const HotkeySpec win_a = *parse_hotkey("WIN+A");
  EXPECT_TRUE(hotkey_matches(win_a, 0x41, false, held({0x5C})));
  EXPECT_FALSE(hotkey_matches(*parse_hotkey("LWIN"), 0xA4, false, held({})));
  EXPECT_TRUE(hotkey_matches(*parse_hotkey("RWIN"), 0x5B, false, held({})));
}

TEST(HotkeyNotation, DisplayNameAndFallback) {
  EXPECT_EQ(hotkey_display_name("ALT_R"), "右 Alt");
  EXPECT_EQ(hotkey_display_name("alt_r"), "alt_r");  // case-sensitive on purpose
  EXPECT_EQ(hotkey_display_name("CTRL+ALT+SPACE"), "Ctrl+Alt+空格");
  EXPECT_EQ(hotkey_display_name("SHIFT_L"), "左 Shift");
  HotkeyHolder holder;
  EXPECT_EQ(holder.display_name(), "右 Alt");

  struct Case {
    const char* config;
    const char* raw;
    bool report;
    int warnings;
  };
  const Case cases[] = {
      {R"({"hotkey":"CTRL+"})", "ALT_R", true, 1},
      {R"({"hotkey":""})", "ALT_R", false, 1},  // invalid, but no tooltip for a blank text
      {R"({"hotkey":"F9"})", "F9", false, 0},
      {"not json", "ALT_R", false, 0},
      {R"({"hotkey":7})", "ALT_R", false, 0},
  };
  for (const Case& c : cases) {
    int warnings = 0;
    std::string line;
    const LoadedHotkey loaded = load_push_to_talk(c.config, [&](std::string_view t) {
      ++warnings;
      line = t;
    });
    EXPECT_EQ(loaded.spec.raw, c.raw) << c.config;
    EXPECT_EQ(loaded.report_to_user, c.report) << c.config;
    EXPECT_EQ(warnings, c.warnings) << c.config;
  }
  std::string line;
  load_push_to_talk(R"({"hotkey":"CTRL+"})", [&](std::string_view t) { line = t; });
  EXPECT_EQ(line, "[kesu] 热键写法无法解析：CTRL+，退回 ALT_R");
}
