#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake_core.h"
#include "settings/control_reuse.h"
#include "settings/frame_layout.h"
#include "settings/settings_controller.h"
#include "settings/settings_mode_lines.h"

namespace kesu::shell {
namespace {

using testing::FakeCore;

TEST(SettingsFrame, ScaleFollowsDpiOverrideAndWorkArea) {
  struct Case {
    unsigned dpi;
    std::optional<std::string> override_text;
    int work_w, work_h;
    float k;
    const char* why;
  } cases[] = {
      {96, std::nullopt, 1920, 1040, 1.0f, "plain screen"},
      {144, std::nullopt, 2880, 1560, 1.5f, "the window's DPI"},
      {96, "150", 1920, 1040, 1.5f, "override as a percentage"},
      {96, "+125", 1920, 1040, 1.25f, "a leading plus is accepted"},
      {96, "abc", 1920, 1040, 1.0f, "anything else is ignored"},
      {144, "-150", 2880, 1560, 1.5f, "a minus is not a percentage"},
      {96, "50", 1920, 1040, 1.0f, "never below 1"},
      {96, "150", 1024, 768, 1000.0f / 900.0f, "fits the work area with its margin"},
      {288, std::nullopt, 1366, 600, 1.0f, "a tiny work area still gives 1"},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(settings_scale(c.dpi, c.override_text, c.work_w, c.work_h), c.k) << c.why;
  }
}

TEST(SettingsFrame, PagesWrapAndClamp) {
  EXPECT_EQ(clamp_page(12), 8);
  EXPECT_EQ(clamp_page(-3), 0);
  EXPECT_EQ(wrap_page(9), 0);
  EXPECT_EQ(wrap_page(-1), 8);
  EXPECT_EQ(settings_pages()[8].label, "局域网");
}

TEST(SettingsFrame, KeysOfTheWindow) {
  struct Case {
    unsigned vk;
    bool ctrl, shift, on_button;
    int current;
    FrameKeyAction action;
    int page;
  } cases[] = {
      {0x09, true, false, false, 3, FrameKeyAction::show_page, 4},
      {0x09, true, false, false, 8, FrameKeyAction::show_page, 0},
      {0x09, true, true, false, 0, FrameKeyAction::show_page, 8},
      {0x09, false, false, false, 0, FrameKeyAction::focus_next, 0},
      {0x09, false, true, false, 0, FrameKeyAction::focus_previous, 0},
      {'1', true, false, false, 5, FrameKeyAction::show_page, 0},
      {'9', true, false, false, 5, FrameKeyAction::show_page, 8},
      {'1', false, false, false, 5, FrameKeyAction::none, 0},
      {0x0D, false, false, true, 0, FrameKeyAction::click_focused, 0},
      {0x0D, false, false, false, 0, FrameKeyAction::none, 0},
      {0x1B, false, false, false, 2, FrameKeyAction::hide, 0},
  };
  for (const Case& c : cases) {
    const FrameKey key = frame_key(c.vk, c.ctrl, c.shift, c.on_button, c.current);
    EXPECT_EQ(key.action, c.action) << c.vk << " ctrl=" << c.ctrl << " shift=" << c.shift;
    if (c.action == FrameKeyAction::show_page) {
      EXPECT_EQ(key.page, c.page) << c.vk;
    }
  }
}

TEST(SettingsFrame, NavigationHitsAndPanelAtScale) {
  // Item 3 at k = 1.5: x 18..234, y (36 + 76 + 132) · 1.5 = 366 for 54 pixels.
  EXPECT_EQ(nav_item_at(20, 370, 1.5f), 3);
  EXPECT_EQ(nav_item_at(20, 419, 1.5f), 3);
  EXPECT_EQ(nav_item_at(20, 421, 1.5f), std::nullopt) << "the gap between items";
  EXPECT_EQ(nav_item_at(240, 370, 1.5f), std::nullopt);
  const PixelRect panel = content_panel_rect(1350, 948, 1.5f);
  EXPECT_EQ(panel.left, 252);
  EXPECT_EQ(panel.top, 72);
  EXPECT_EQ(panel.right, 1326);
  EXPECT_EQ(panel.bottom, 921);
  EXPECT_TRUE(in_title_bar(53, 1.5f));
  EXPECT_FALSE(in_title_bar(54, 1.5f));
}

TEST(SettingsFrame, LogLines) {
  EXPECT_EQ(settings_log_line(2, 17), "build page=2 ctrls=17\n");
  EXPECT_EQ(command_log_line(101, 0, 30, false), std::nullopt);
  EXPECT_EQ(command_log_line(101, 0, 51, false), "CMD id=101 note=0 ms=51");
  EXPECT_EQ(command_log_line(207, 0, 0, true), "CMD id=207 note=0 ms=0");
  EXPECT_EQ(object_count_line({120, 40, false}, {118, 41, false}),
            "GDI before=120 after=118 delta=-2 USER before=40 after=41 delta=+1");
  EXPECT_EQ(perf_rebuilds_line(0, {3.0, 1.0, 2.0, 9.5}), "PERF page=0 重建4次 中位=2.50ms 最慢=9.50ms");
  EXPECT_EQ(perf_spread_line("换页", {4.0, 0.5, 1.0}), "PERF 换页3次 中位=1.00ms 最慢=4.00ms");
  EXPECT_EQ(perf_spread_line("换页", {}), "PERF 换页0次");
  EXPECT_EQ(perf_phases_line(2, {{1.0, 2.0, 0.25}, {3.0, 0.5, 0.75}, {2.0, 1.0, 0.5}}),
            "PERF page=2 分段中位 读数据=2.00ms 控件=1.00ms 收尾=0.50ms");
}

TEST(SettingsFrame, RebuildKeepsWindowsOfTheSameShape) {
  const auto control = [](ControlKind kind, int id, bool read_only = false) {
    ControlSpec c = make_control(kind, id, "", 0, 0, 10, 10);
    c.read_only = read_only;
    return c;
  };
  const auto windows_of = [](const std::vector<ControlSpec>& page) {
    std::vector<ExistingWindow> windows;
    for (const ControlSpec& c : page) {
      if (control_shape(c) != ControlShape::none) windows.push_back({control_shape(c), c.id});
    }
    return windows;
  };
  const std::vector<ControlSpec> general = {
      control(ControlKind::button, kIdClose),        control(ControlKind::heading, kIdNone),
      control(ControlKind::key_capture, kIdKeyCapture),  control(ControlKind::info_marker, kIdNone),
      control(ControlKind::edit, kIdMinRecord),      control(ControlKind::toggle, kIdPrivacy),
      control(ControlKind::primary_button, kIdSave),
  };
  // The same page again: every window stays with its control, except the key capture control.
  ReusePlan same = plan_reuse(windows_of(general), general);
  EXPECT_EQ(same.take, (std::vector<int>{0, 1, -1, -1, 3, 4, 5}));
  EXPECT_EQ(same.destroy, std::vector<int>{2});

  // Another page: ids are matched first, then shapes in order; a read-only box needs its own.
  const std::vector<ControlSpec> other = {
      control(ControlKind::button, kIdClose),   control(ControlKind::primary_button, kIdSave),
      control(ControlKind::label, kIdNone),     control(ControlKind::label, kIdNone),
      control(ControlKind::edit, kIdMinRecord, true), control(ControlKind::toggle, kIdPunct),
  };
  ReusePlan moved = plan_reuse(windows_of(general), other);
  EXPECT_EQ(moved.take, (std::vector<int>{0, 5, 1, -1, -1, 4}));
  EXPECT_EQ(moved.destroy, (std::vector<int>{2, 3}));

  EXPECT_EQ(plan_reuse({}, other).take, std::vector<int>(other.size(), -1));
  EXPECT_EQ(plan_reuse(windows_of(other), {}).destroy, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

// The window's controls as the controller sees them.
struct FakeSurface : SettingsSurface {
  std::map<int, std::string> texts;
  std::map<int, std::vector<std::string>> rows;
  std::map<int, int> selected;
  std::optional<std::string> key = "ALT_R";
  int rebuilds = 0, repaints = 0, hides = 0, key_focus = 0;

  void rebuild() override { ++rebuilds; }
  void repaint() override { ++repaints; }
  void hide() override { ++hides; }
  std::optional<std::string> text_of(int id) const override {
    const auto it = texts.find(id);
    return it == texts.end() ? std::nullopt : std::optional(it->second);
  }
  void set_text(int id, std::string_view text) override { texts[id] = std::string(text); }
  std::optional<int> selected_row(int id) const override {
    const auto it = selected.find(id);
    return it == selected.end() ? std::nullopt : std::optional(it->second);
  }
  std::string row_text(int id, int row) const override {
    return rows.at(id).at(static_cast<std::size_t>(row));
  }
  std::optional<std::string> key_capture_value() const override { return key; }
  void set_key_capture_value(std::string_view value) override { key = std::string(value); }
  void focus_key_capture() override { ++key_focus; }
};

struct RecordingTray : TrayView {
  std::vector<std::string> tooltips;
  void set_tooltip(std::string_view text) override { tooltips.emplace_back(text); }
};

struct ControllerFixture {
  FakeCore core;
  NullViews null_views;
  RecordingTray tray;
  AppState state;
  std::vector<std::string> warnings, logs;
  int reloads = 0;
  std::optional<std::string> autostart_error;
  std::vector<bool> autostart_calls;

  ControllerFixture() {
    state.core = core.binding();
    state.views = null_views.views();
    state.views.tray = &tray;
  }
  SettingsServices services() {
    SettingsServices s;
    s.warning = [this](std::string_view t) { warnings.emplace_back(t); };
    s.question = [](std::string_view) { return false; };
    s.log = [this](std::string_view t) { logs.emplace_back(t); };
    s.reload_shell_config = [this] { ++reloads; };
    s.sync_autostart = [this](bool want) {
      autostart_calls.push_back(want);
      return autostart_error;
    };
    return s;
  }
  int calls_starting(std::string_view prefix) const {
    int n = 0;
    for (const std::string& c : core.calls) n += c.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
};

TEST(SettingsController, CommonSaveReloadsTellsAndRebuildsOrWarns) {
  ControllerFixture f;
  SettingsController c(f.state, f.services());
  FakeSurface surface;
  EXPECT_TRUE(c.save_patch(nlohmann::json{{"min_record_ms", 500}}, surface));
  EXPECT_EQ(f.core.calls.back(), R"(set_config_json {"min_record_ms":500})");
  EXPECT_EQ(f.reloads, 1);
  EXPECT_EQ(f.tray.tooltips.back(), "言至：设置已保存");
  EXPECT_EQ(surface.rebuilds, 1);

  f.core.set_config_code = -3;
  f.core.set_config_error = "min_record_ms 不对";
  EXPECT_FALSE(c.save_patch(nlohmann::json{{"min_record_ms", 1}}, surface));
  EXPECT_EQ(f.warnings.back(), "保存失败：min_record_ms 不对");
  EXPECT_EQ(surface.rebuilds, 1);

  f.state.core.reset();
  EXPECT_FALSE(c.save_patch(nlohmann::json{{"min_record_ms", 1}}, surface));
  EXPECT_EQ(f.warnings.back(), "保存失败：core 没起来");
}

TEST(SettingsController, QuietAndOneKeySavesReportOnlyWhatTheySay) {
  ControllerFixture f;
  SettingsController c(f.state, f.services());
  FakeSurface surface;
  EXPECT_TRUE(c.save_patch_quietly(nlohmann::json{{"polish_enabled", true}}));
  EXPECT_EQ(f.core.calls.back(), R"(set_config_json {"polish_enabled":true})");
  EXPECT_EQ(f.reloads, 0);
  EXPECT_TRUE(f.tray.tooltips.empty());

  // A box that is not on the page saves nothing; one that is saves its trimmed text.
  EXPECT_FALSE(c.save_text_key(kIdMinRecord, "polish_endpoint", "润色地址已保存", surface));
  EXPECT_EQ(f.calls_starting("set_config_json"), 1);
  surface.texts[kIdMinRecord] = "  https://api.example.com/v1 \n";
  EXPECT_TRUE(c.save_text_key(kIdMinRecord, "polish_endpoint", "润色地址已保存", surface));
  EXPECT_EQ(f.core.calls.back(), R"(set_config_json {"polish_endpoint":"https://api.example.com/v1"})");
  EXPECT_EQ(f.logs.back(), "CFG polish_endpoint=https://api.example.com/v1 润色地址已保存");
  EXPECT_EQ(f.tray.tooltips.back(), "润色地址已保存");
  EXPECT_EQ(surface.rebuilds, 0);
  EXPECT_EQ(f.reloads, 0);

  // Failures carry the core's code; a missing core is said plainly.
  f.core.set_config_code = -3;
  f.core.set_config_error = "polish_endpoint 不对";
  EXPECT_FALSE(c.save_patch_quietly(nlohmann::json{{"polish_enabled", false}}));
  EXPECT_EQ(f.warnings.back(), "保存失败（-3）：polish_endpoint 不对");
  EXPECT_FALSE(c.save_text_key(kIdMinRecord, "polish_endpoint", "润色地址已保存", surface));
  EXPECT_EQ(f.warnings.size(), 2u);
  f.state.core.reset();
  EXPECT_FALSE(c.save_patch_quietly(nlohmann::json{{"polish_enabled", false}}));
  EXPECT_EQ(f.warnings.back(), "保存失败（-1）：core 没起来");
  EXPECT_EQ(f.tray.tooltips.size(), 1u);
}

TEST(SettingsController, EnrolmentOutcomeIsReportedAndSuccessLocks) {
  ControllerFixture f;
  SettingsController c(f.state, f.services());
  FakeSurface surface;
  c.on_enrolment_finished(surface);  // nothing in the slot: only the page is rebuilt
  EXPECT_EQ(surface.rebuilds, 1);
  EXPECT_EQ(f.calls_starting("set_config_json"), 0);

  c.enrolment().put({-2, "录音太短"});
  c.enrolment().put({-5, "没听到说话"});  // the newer outcome replaces the older
  c.on_enrolment_finished(surface);
  EXPECT_EQ(f.logs.back(), "VOICE 登记失败 没听到说话");
  EXPECT_EQ(f.warnings, std::vector<std::string>{"声纹登记失败：没听到说话"});
  EXPECT_EQ(f.calls_starting("set_config_json"), 0);

  c.enrolment().put({0, ""});
  c.on_enrolment_finished(surface);
  EXPECT_EQ(f.core.calls.back(), R"(set_config_json {"voice_lock":true})");
  EXPECT_EQ(f.logs.back(), "VOICE 登记成功，voice_lock=true");
  EXPECT_EQ(f.tray.tooltips.back(), "言至：声纹已登记");
  EXPECT_EQ(surface.rebuilds, 3);
  EXPECT_FALSE(c.enrolment().take().has_value());

  // A lock that could not be saved is not claimed.
  f.core.set_config_code = -3;
  f.core.set_config_error = "写不进去";
  c.enrolment().put({0, ""});
  c.on_enrolment_finished(surface);
  EXPECT_EQ(f.warnings.back(), "保存失败（-3）：写不进去");
  EXPECT_EQ(f.logs.back(), "VOICE 登记成功，voice_lock 没存上");
}

TEST(SettingsController, GeneralSaveThenAutostartThenPerApp) {
  ControllerFixture f;
  f.autostart_error = "打不开 Run 注册表键";
  SettingsController c(f.state, f.services());
  c.set_page(0);
  (void)c.build_page();
  FakeSurface surface;
  surface.texts[kIdMinRecord] = "150";
  surface.texts[kIdMaxRecord] = "abc";
  surface.texts[kIdPerApp] = "Notepad.exe = 打字";
  c.on_command(kIdSave, 0, surface);
  ASSERT_EQ(f.calls_starting("set_config_json"), 2);
  EXPECT_NE(f.core.calls[0].find(R"("min_record_ms":200)"), std::string::npos) << f.core.calls[0];
  EXPECT_NE(f.core.calls[0].find(R"("max_record_secs":120)"), std::string::npos);
  EXPECT_EQ(f.core.calls[1], R"(set_config_json {"insert_per_app":{"notepad.exe":"keystroke"}})");
  EXPECT_EQ(f.autostart_calls, std::vector<bool>{false});
  EXPECT_EQ(f.logs, (std::vector<std::string>{"AUTOSTART sync 失败：打不开 Run 注册表键",
                                              R"(CFG insert_per_app={"notepad.exe":"keystroke"})"}));
  EXPECT_EQ(f.warnings, std::vector<std::string>{"开机自启设置没写进注册表：打不开 Run 注册表键"});
  EXPECT_EQ(f.tray.tooltips.back(), "按应用覆盖已保存");
}

TEST(SettingsController, UnparsableKeyBlocksOnlyTheGeneralSave) {
  ControllerFixture f;
  SettingsController c(f.state, f.services());
  c.set_page(0);
  (void)c.build_page();
  FakeSurface surface;
  surface.key = "HYPER+Q";
  surface.texts[kIdPerApp] = "";
  c.on_command(kIdSave, 0, surface);
  ASSERT_EQ(f.warnings.size(), 1u);
  EXPECT_NE(f.warnings[0].find("「HYPER+Q」这个组合键看不懂"), std::string::npos);
  EXPECT_EQ(f.core.calls, std::vector<std::string>{R"(set_config_json {"insert_per_app":{}})"});
  EXPECT_TRUE(f.autostart_calls.empty());
}

TEST(SettingsController, PresetsSaveAtOnceAndModeButtonsOnlyRepaint) {
  ControllerFixture f;
  SettingsController c(f.state, f.services());
  c.set_page(0);
  (void)c.build_page();
  FakeSurface surface;
  c.on_command(kIdPresetF13, 0, surface);
  EXPECT_EQ(surface.key, "F13");
  EXPECT_EQ(f.core.calls.back(), R"(set_config_json {"hotkey":"F13"})");
  EXPECT_EQ(f.logs.back(), "HOTKEY PRESET F13");

  f.core.calls.clear();
  c.on_command(kIdModeKeystroke, 0, surface);
  EXPECT_FALSE(c.paste_selected());
  EXPECT_TRUE(f.core.calls.empty());
  EXPECT_GE(surface.repaints, 1);
}

TEST(SettingsController, TogglesFlipAndAModelToggleStartsItsDownload) {
  ControllerFixture f;
  f.core.models = R"([{"id":"gtcrn","installed":false},{"id":"punct","installed":true}])";
  f.core.config = R"({"denoise":false,"punct":false})";
  SettingsController c(f.state, f.services());
  c.set_page(2);
  (void)c.build_page();
  FakeSurface surface;
  c.on_command(kIdDenoise, 0, surface);
  EXPECT_TRUE(c.toggle_on(kIdDenoise));
  EXPECT_EQ(f.calls_starting("models_pull gtcrn"), 1);
  EXPECT_EQ(f.tray.tooltips.back(), "言至：正在后台下载降噪模型，装好会提示");
  c.on_command(kIdPunct, 0, surface);
  EXPECT_EQ(f.calls_starting("models_pull"), 1) << "an installed model is not fetched again";
  c.on_command(kIdDenoise, 0, surface);
  EXPECT_FALSE(c.toggle_on(kIdDenoise));
  EXPECT_EQ(f.calls_starting("models_pull"), 1) << "turning off fetches nothing";
}

TEST(SettingsController, TheMeterStopsWhenAskedAndOnlyOnce) {
  ControllerFixture f;
  SettingsController c(f.state, f.services());
  c.set_page(2);
  (void)c.build_page();
  FakeSurface surface;
  c.on_command(kIdMeterButton, 0, surface);
  EXPECT_TRUE(c.meter_running());
  EXPECT_TRUE(c.level_text(0.5f).has_value());
  c.stop_meter();  // the window hidden or the page left
  c.stop_meter();
  EXPECT_FALSE(c.meter_running());
  EXPECT_EQ(c.level_text(0.5f), std::nullopt);
  EXPECT_EQ(f.calls_starting("meter_start"), 1);
  EXPECT_EQ(f.calls_starting("meter_stop"), 1);
}

TEST(SettingsController, PagesNotBuiltYetSaySo) {
  ControllerFixture f;
  SettingsController c(f.state, f.services());
  for (int page : {1, 3, 4, 5, 6, 7, 8}) {
    c.set_page(page);
    const PageSpec spec = c.build_page();
    ASSERT_EQ(spec.controls.size(), 2u);
    EXPECT_EQ(spec.controls[0].text, settings_pages()[static_cast<std::size_t>(page)].label);
    EXPECT_EQ(spec.controls[1].text, "尚未实现");
  }
}

TEST(SettingsController, AudioSaveTakesTheSelectedRow) {
  ControllerFixture f;
  f.core.devices = R"({"devices":["USB 麦克风","内置麦克风"],"default":"内置麦克风","selected":null})";
  SettingsController c(f.state, f.services());
  c.set_page(2);
  const PageSpec spec = c.build_page();
  FakeSurface surface;
  for (const ControlSpec& control : spec.controls) {
    if (control.id == kIdDeviceList) surface.rows[kIdDeviceList] = control.items;
  }
  ASSERT_GE(surface.rows[kIdDeviceList].size(), 3u);
  surface.selected[kIdDeviceList] = 1;
  c.on_command(kIdUse, 0, surface);
  ASSERT_FALSE(f.core.calls.empty());
  EXPECT_NE(f.core.calls.back().find(R"("device":"USB 麦克风")"), std::string::npos) << f.core.calls.back();
}

}  // namespace
}  // namespace kesu::shell
