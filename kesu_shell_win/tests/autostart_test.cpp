#include "settings/autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "fake_core.h"

using namespace kesu::shell;
using kesu::shell::testing::FakeCore;

namespace {

constexpr const char* kExe = R"(C:\Program Files\言至\kesu.exe)";

// A registry held in memory that records its calls; set() fails with `set_error` when given.
struct FakeRegistry final : AutostartRegistry {
  std::optional<std::string> value;
  std::optional<std::string> set_error;
  std::vector<std::string> calls;

  SetOutcome set(bool enable) override {
    calls.push_back(enable ? "set(true)" : "set(false)");
    if (set_error) return {set_error};
    if (enable) {
      value = std::string("\"") + kExe + "\"";
    } else {
      value.reset();
    }
    return {};
  }
  std::optional<std::string> read() override {
    calls.push_back("read");
    return value;
  }
};

struct Recorded {
  std::vector<std::string> log;
  std::string error_stream;
  ReconcileSinks sinks(bool raw_debug) {
    return {[this](std::string_view t) { log.emplace_back(t); },
            [this](std::string_view t) { error_stream += t; }, raw_debug};
  }
};

}  // namespace

TEST(AutostartReconcile, DecisionTable) {
  const std::string quoted = std::string("\"") + kExe + "\"";
  struct Case {
    bool want;
    std::optional<std::string> have;
    std::string exe;
    ReconcileAction action;
  };
  const Case cases[] = {
      {false, std::nullopt, kExe, ReconcileAction::Nothing},
      {false, quoted, kExe, ReconcileAction::Remove},
      {false, "anything", kExe, ReconcileAction::Remove},
      {true, std::nullopt, kExe, ReconcileAction::Write},
      {true, quoted, kExe, ReconcileAction::Nothing},
      {true, kExe, kExe, ReconcileAction::Nothing},  // unquoted but the same path
      {true, "\"" + std::string(kExe), kExe, ReconcileAction::Nothing},  // one quote only
      {true, R"("C:\Old\kesu.exe")", kExe, ReconcileAction::Rewrite},
      // Byte for byte: case and a trailing space both make another path.
      {true, R"("c:\program files\言至\kesu.exe")", kExe, ReconcileAction::Rewrite},
      {true, quoted + " ", kExe, ReconcileAction::Rewrite},
      {true, "\"\"", "", ReconcileAction::Nothing},  // no path on either side
      {true, quoted, "", ReconcileAction::Rewrite},  // path unknown: compares as empty
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reconcile_action(c.want, c.have, c.exe), c.action)
        << c.want << " " << c.have.value_or("<none>");
  }
}

TEST(AutostartReconcile, CallsAndLines) {
  struct Case {
    const char* name;
    bool want;
    std::optional<std::string> have;
    std::optional<std::string> set_error;
    std::vector<std::string> calls;
    std::vector<std::string> log;
    std::optional<std::string> after;
  };
  const std::string quoted = std::string("\"") + kExe + "\"";
  const Case cases[] = {
      {"off, absent", false, std::nullopt, std::nullopt, {"read"}, {}, std::nullopt},
      {"off, present", false, quoted, std::nullopt, {"read", "set(false)"}, {}, std::nullopt},
      {"on, absent", true, std::nullopt, std::nullopt, {"read", "set(true)"}, {}, quoted},
      {"on, unquoted same path", true, kExe, std::nullopt, {"read"}, {}, kExe},
      {"on, other path",
       true,
       R"("D:\old\kesu.exe")",
       std::nullopt,
       {"read", "set(true)"},
       {"AUTOSTART 路径变了，已重写 Run 键"},
       quoted},
      {"on, other path, write fails",
       true,
       R"("D:\old\kesu.exe")",
       "注册表写入失败：5",
       {"read", "set(true)"},
       {"AUTOSTART 路径变了，已重写 Run 键",
        R"(AUTOSTART 对齐失败 want=true have=Some("\"D:\\old\\kesu.exe\""))"},
       R"("D:\old\kesu.exe")"},
      {"off, removal fails",
       false,
       "x",
       "打不开 Run 注册表键",
       {"read", "set(false)"},
       {R"(AUTOSTART 对齐失败 want=false have=Some("x"))"},
       "x"},
  };
  for (const Case& c : cases) {
    FakeRegistry registry;
    registry.value = c.have;
    registry.set_error = c.set_error;
    Recorded out;
    reconcile_autostart_registration(c.want, registry, kExe, out.sinks(false));
    EXPECT_EQ(registry.calls, c.calls) << c.name;
    EXPECT_EQ(out.log, c.log) << c.name;
    EXPECT_EQ(registry.value, c.after) << c.name;
    EXPECT_EQ(out.error_stream, "") << c.name;
  }
}

TEST(AutostartReconcile, RawDebugLineGoesToStandardError) {
  FakeRegistry registry;
  Recorded out;
  reconcile_autostart_registration(false, registry, kExe, out.sinks(true));
  registry.value = "\"C:\\k.exe\"";
  reconcile_autostart_registration(true, registry, "C:\\k.exe", out.sinks(true));
  EXPECT_EQ(out.error_stream,
            "[kesu] autostart reconcile want=false have=None\n"
            "[kesu] autostart reconcile want=true have=Some(\"\\\"C:\\\\k.exe\\\"\")\n");
  EXPECT_TRUE(out.log.empty());
}

TEST(AutostartDebugNotation, EscapesLikeADebugPrint) {
  struct Case {
    std::string text;
    const char* quoted;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"言至 kesu.exe", R"("言至 kesu.exe")"},
      {R"("C:\a b\k.exe")", R"("\"C:\\a b\\k.exe\"")"},
      {"a\nb\rc\td", R"("a\nb\rc\td")"},
      {std::string("a\0b", 3), R"("a\u{0}b")"},
      {"\x1b[0m\x7f", R"("\u{1b}[0m\u{7f}")"},
      {"\xc2\x85|\xc2\xa0", "\"\\u{85}|\xc2\xa0\""},  // C1 control escaped, no-break space kept
      {"it's", R"("it's")"},                          // single quotes stay
  };
  for (const Case& c : cases) EXPECT_EQ(debug_quoted(c.text), c.quoted) << c.quoted;
  EXPECT_EQ(debug_optional(std::nullopt), "None");
  EXPECT_EQ(debug_optional("x\"y"), R"(Some("x\"y"))");
  EXPECT_EQ(debug_outcome({}), "Ok(())");
  EXPECT_EQ(debug_outcome({"打不开 Run 注册表键"}), R"(Err("打不开 Run 注册表键"))");
}

TEST(AutostartSync, FollowsTheSavedValue) {
  FakeRegistry registry;
  EXPECT_EQ(sync_autostart(true, registry), std::nullopt);
  EXPECT_TRUE(registry.value.has_value());
  EXPECT_EQ(sync_autostart(false, registry), std::nullopt);
  EXPECT_FALSE(registry.value.has_value());
  EXPECT_EQ(sync_autostart(false, registry), std::nullopt);  // nothing to remove is fine
  registry.set_error = "注册表写入失败：5";
  EXPECT_EQ(sync_autostart(true, registry), "注册表写入失败：5");
}

namespace {

// The mode's pieces: a fake core that stores the saved patch, the recorded lines and waits.
struct ModeFixture {
  FakeCore fake;
  CoreBinding core;
  HotkeyHolder hotkey;
  std::vector<std::string> log;
  std::vector<std::chrono::milliseconds> sleeps;
  std::mutex state_mu;
  static inline std::string saved;
  static inline int save_code = 0;

  ModeFixture() : core(fake.binding()) {
    saved.clear();
    save_code = 0;
    core.kesu_set_config_json = [](KesuCore*, const char* json, char** err) {
      saved = json;
      if (save_code != 0 && err != nullptr) *err = FakeCore::dup("保存失败");
      return save_code;
    };
  }

  std::optional<int> run(std::vector<std::string> argv, AutostartRegistry& registry,
                         bool with_core = true) {
    const Args args(std::move(argv));
    const ModeContext ctx{args,
                          with_core ? &core : nullptr,
                          hotkey,
                          [this](std::string_view t) { log.emplace_back(t); },
                          [](std::string_view) {},
                          [this](std::chrono::milliseconds d) { sleeps.push_back(d); },
                          [] { return std::string("未知"); },
                          &state_mu};
    return run_autostart_modes(ctx, registry);
  }
};

}  // namespace

TEST(AutostartModes, OnAndOffSaveTheConfigurationAndReadBack) {
  ModeFixture f;
  FakeRegistry registry;
  EXPECT_EQ(f.run({"--autostart-on"}, registry), 0);
  EXPECT_EQ(ModeFixture::saved, R"({"launch_at_login":true})");
  EXPECT_EQ(f.sleeps, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1200)});
  EXPECT_EQ(registry.calls, (std::vector<std::string>{"set(true)", "read"}));

  EXPECT_EQ(f.run({"--autostart-off"}, registry), 0);
  EXPECT_EQ(ModeFixture::saved, R"({"launch_at_login":false})");

  ModeFixture::save_code = -3;
  registry.set_error = "注册表写入失败：5";
  EXPECT_EQ(f.run({"--autostart-on"}, registry), 0);
  EXPECT_EQ(f.run({"--autostart-off"}, registry, false), 0);
  EXPECT_EQ(
      f.log,
      (std::vector<std::string>{
          R"(AUTOSTART ON result=Ok(()) config=0/ current=Some("\"C:\\Program Files\\言至\\kesu.exe\""))",
          "AUTOSTART OFF result=Ok(()) config=0/ current=None",
          R"(AUTOSTART ON result=Err("注册表写入失败：5") config=-3/保存失败 current=None)",
          R"(AUTOSTART OFF result=Err("注册表写入失败：5") config=-1/core 没起来 current=None)",
      }));
}

TEST(AutostartModes, RoundTripLeavesNoRegistration) {
  ModeFixture f;
  FakeRegistry registry;
  EXPECT_EQ(f.run({"--dev", "--autostart-test"}, registry), 0);
  EXPECT_EQ(registry.calls,
            (std::vector<std::string>{"read", "set(true)", "read", "set(false)", "read"}));
  EXPECT_FALSE(registry.value.has_value());
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_EQ(
      f.log[0],
      R"(AUTOSTARTTEST before=None on=Ok(()) after_on=Some("\"C:\\Program Files\\言至\\kesu.exe\"") off=Ok(()) after_off=None)");
  EXPECT_TRUE(ModeFixture::saved.empty());  // the round trip leaves the configuration alone
  EXPECT_TRUE(f.sleeps.empty());

  // The first switch of the table wins; other switches are not this mode's.
  FakeRegistry other;
  EXPECT_EQ(f.run({"--autostart-test", "--autostart-on"}, other), 0);
  EXPECT_EQ(other.calls, (std::vector<std::string>{"set(true)", "read"}));
  EXPECT_EQ(f.run({"--hotkey-check", "ALT_R"}, other), std::nullopt);
  EXPECT_FALSE(wants_autostart_mode(Args({"--hotkey-check", "ALT_R"})));
  EXPECT_TRUE(wants_autostart_mode(Args({"--autostart-off"})));
}

TEST(AutostartModes, SystemRegistryWithoutLogonRegistration) {
#ifdef _WIN32
  GTEST_SKIP() << "the Run key is checked under Wine with the real program";
#else
  const auto registry = make_system_autostart_registry();
  EXPECT_EQ(registry->read(), std::nullopt);
  EXPECT_EQ(registry->set(true).error, "这台机器没有开机自启的注册表");
  EXPECT_TRUE(registry->set(false).ok());
#endif
}
