#include "tray/tray_menu.h"

#include <gtest/gtest.h>

#include "fake_core.h"
#include "tray/tray_commands.h"
#include "kesu_version.h"

namespace kesu::shell {
namespace {

using testing::FakeCore;

TEST(TrayStatus, LabelsByPhaseAndCore) {
  struct Case {
    const char* phase;
    bool has_core;
    const char* label;
  };
  const Case cases[] = {
      {"listening", true, "在听…（松开结束）"},
      {"processing", true, "识别中…"},
      {"decoding", true, "识别中…"},
      {"inserting", true, "上屏中…"},
      {"polishing", true, "润色中…"},
      {"starting", true, "准备中…"},
      {"idle", true, "就绪"},
      {"done", true, "就绪"},
      {"", true, "就绪"},
      {"Listening", true, "就绪"},   // phases are matched exactly
      {"listening", false, "就绪"},  // without a core nothing is running
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tray_status_label(c.phase, c.has_core), c.label) << c.phase << " " << c.has_core;
  }
}

TEST(TrayClicks, ButtonUpShowsTheMenuDoubleClickOpensSettings) {
  EXPECT_EQ(tray_click_action(0x202), TrayClick::ShowMenu);
  EXPECT_EQ(tray_click_action(0x205), TrayClick::ShowMenu);
  EXPECT_EQ(tray_click_action(0x203), TrayClick::OpenSettings);
  for (unsigned other : {0x200u, 0x201u, 0x204u, 0x206u, 0x400u}) {  // moves, presses, balloons
    EXPECT_EQ(tray_click_action(other), TrayClick::Ignore) << other;
  }
}

TEST(TrayTooltip, DefaultAndCutToTheRecordsField) {
  EXPECT_EQ(tray_tooltip_units(""), u"言至：按住右 Alt 说话");
  EXPECT_EQ(tray_tooltip_units("言至：在听…"), u"言至：在听…");
  EXPECT_EQ(tray_tooltip_units(std::string(127, 'x')), std::u16string(127, u'x'));
  EXPECT_EQ(tray_tooltip_units(std::string(200, 'x')), std::u16string(127, u'x'));
  // An emoji across the limit is dropped whole rather than split.
  EXPECT_EQ(tray_tooltip_units(std::string(126, 'x') + "😀"), std::u16string(126, u'x'));
  EXPECT_EQ(tray_tooltip_units(std::string(125, 'x') + "😀y"), std::u16string(125, u'x') + u"😀");
}

TEST(TrayFailedSegments, ParsesOnlyArraysOfIndexes) {
  EXPECT_EQ(parse_failed_segments("[0,1,2]"), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(parse_failed_segments(" [ 7 ] "), (std::vector<int>{7}));
  for (const char* bad : {"", "[]", "null", "{}", "[1,", "[1,\"2\"]", "[1.5]", "[-1]", "3",
                          "[99999999999]", "[[1]]"}) {
    EXPECT_TRUE(parse_failed_segments(bad).empty()) << bad;
  }
}

TEST(TrayLastResult, CutsAtTwentyFourCharactersAndCountsAll) {
  const std::string thirty = "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十";
  EXPECT_EQ(last_result_label(thirty),
            "上次：一二三四五六七八九十一二三四五六七八九十一二三四…（30 字）");
  const std::string twenty_four = thirty.substr(0, 24 * 3);
  EXPECT_EQ(last_result_label(twenty_four), "上次：" + twenty_four + "（24 字）");
  EXPECT_EQ(last_result_label("😀ok"), "上次：😀ok（3 字）");  // code points, not UTF-16 units
}

std::vector<int> ids(const std::vector<TrayMenuItem>& items) {
  std::vector<int> out;
  for (const auto& item : items) out.push_back(item.kind == TrayItemKind::Separator ? -1 : item.id);
  return out;
}

TEST(TrayMenu, IdleMenuInTableOrderWithCancelGreyed) {
  TrayMenuInputs in;
  in.phase = "idle";
  in.has_core = true;
  const auto items = build_tray_menu(in);
  EXPECT_EQ(ids(items),
            (std::vector<int>{0, -1, 1007, 1001, 1006, 1004, 1005, 1002, -1, 1008, 1009, 1003}));
  EXPECT_EQ(items[0].text, "言至 · 就绪");
  EXPECT_EQ(items[0].kind, TrayItemKind::Label);
  EXPECT_TRUE(items[0].greyed);
  EXPECT_EQ(items[2].text, "取消当前录音（Esc）");
  EXPECT_TRUE(items[2].greyed);
  for (std::size_t i = 3; i < items.size(); ++i) EXPECT_FALSE(items[i].greyed) << i;
}

TEST(TrayMenu, CancelEnabledOnlyWhileRecording) {
  for (const char* phase : {"listening", "starting", "processing", "inserting", "idle", ""}) {
    TrayMenuInputs in{phase, true, std::nullopt, "[]", false};
    const auto items = build_tray_menu(in);
    const bool recording =
        std::string_view(phase) == "listening" || std::string_view(phase) == "starting";
    EXPECT_EQ(items[2].greyed, !recording) << phase;
  }
}

TEST(TrayMenu, LastResultFailedSegmentsAndDeveloperItems) {
  TrayMenuInputs in{"listening", true, std::string("你好"), "[0,1,2]", true};
  const auto items = build_tray_menu(in);
  EXPECT_EQ(ids(items), (std::vector<int>{0, 0, -1, 1007, 1001, 1006, 1004, 1005, 1002, 0, -1, 1008,
                                          1009, 1014, 1003}));
  EXPECT_EQ(items[0].text, "言至 · 在听…（松开结束）");
  EXPECT_EQ(items[1].text, "上次：你好（2 字）");
  const TrayMenuItem& sub = items[9];
  ASSERT_EQ(sub.kind, TrayItemKind::Submenu);
  EXPECT_EQ(sub.text, "重识别失败的段");
  ASSERT_EQ(sub.children.size(), 3u);
  EXPECT_EQ(sub.children[1].id, 1201);
  EXPECT_EQ(sub.children[1].text, "第 2 段");

  in.last_result = std::string();  // an empty result is no result
  in.failed_segments_json = "garbage";
  EXPECT_EQ(ids(build_tray_menu(in)), (std::vector<int>{0, -1, 1007, 1001, 1006, 1004, 1005, 1002,
                                                        -1, 1008, 1009, 1014, 1003}));
}

TEST(TrayMenu, DumpIsOneGreppableLinePerItem) {
  TrayMenuInputs in{"idle", true, std::string("第一行\r\n第二行"), "[4]", false};
  EXPECT_EQ(dump_tray_menu(build_tray_menu(in)),
            "TRAYMENU id=0 grey=1 text=言至 · 就绪\n"
            "TRAYMENU id=0 grey=1 text=上次：第一行  第二行（8 字）\n"
            "TRAYMENU separator\n"
            "TRAYMENU id=1007 grey=1 text=取消当前录音（Esc）\n"
            "TRAYMENU id=1001 grey=0 text=复制上次结果\n"
            "TRAYMENU id=1006 grey=0 text=统计与历史…\n"
            "TRAYMENU id=1004 grey=0 text=设置…\n"
            "TRAYMENU id=1005 grey=0 text=选区改写…（Ctrl+Alt+E）\n"
            "TRAYMENU id=1002 grey=0 text=诊断…\n"
            "TRAYMENU submenu text=重识别失败的段\n"
            "TRAYMENU > id=1204 grey=0 text=第 5 段\n"
            "TRAYMENU separator\n"
            "TRAYMENU id=1008 grey=0 text=关于 Kesu\n"
            "TRAYMENU id=1009 grey=0 text=显示主窗\n"
            "TRAYMENU id=1003 grey=0 text=退出\n");
}

TEST(TrayAbout, CarriesTheVersion) {
  const std::string about = tray_about_text();
  EXPECT_EQ(about.rfind("言至（yzhi） " KESU_VERSION "（预览）（Windows 预览版）\n本机识别，不联网。\n\n", 0),
            0u);
  EXPECT_NE(about.find("\n\n问题与日志：%APPDATA%\\Kesu\\kesu-shell.log"), std::string::npos);
}

// ---- Commands ----

struct RecordingActions : TrayActions {
  std::vector<std::string> done;
  bool clipboard_free = true;
  bool copy_to_clipboard(std::string_view text) override {
    done.push_back("copy " + std::string(text));
    return clipboard_free;
  }
  void set_tooltip(std::string_view text) override { done.push_back("tip " + std::string(text)); }
  void message(std::string_view text) override { done.push_back("message " + std::string(text)); }
  void open_settings(int page) override { done.push_back("settings " + std::to_string(page)); }
  void open_palette() override { done.push_back("palette"); }
  void toggle_mini() override { done.push_back("mini"); }
  void exit_app() override { done.push_back("exit"); }
  void start_self_test() override { done.push_back("self-test"); }
  void open_mic_privacy_settings() override { done.push_back("mic-privacy"); }
  void show_permission_report() override { done.push_back("permissions"); }
};

struct TrayCommands : ::testing::Test {
  FakeCore core;
  AppState state;
  RecordingActions actions;
  void SetUp() override { state.core = core.binding(); }
  std::vector<std::string> run(int id) {
    actions.done.clear();
    core.calls.clear();
    run_tray_command(id, state, actions);
    // The lock is free again whatever the command did.
    EXPECT_TRUE(state.mu.try_lock());
    state.mu.unlock();
    return actions.done;
  }
};

using Done = std::vector<std::string>;

TEST_F(TrayCommands, CopyLastResultTooltips) {
  core.last_result = "你好世界";
  EXPECT_EQ(run(1001), (Done{"copy 你好世界", "tip 言至：上次结果已复制"}));
  actions.clipboard_free = false;
  EXPECT_EQ(run(1001), (Done{"copy 你好世界", "tip 言至：剪贴板被别的程序占着，没复制上"}));
  core.last_result.clear();
  EXPECT_EQ(run(1001), (Done{"tip 言至：还没有上次结果"}));
  core.last_result = "x";
  state.core.reset();
  EXPECT_EQ(run(1001), (Done{"tip 言至：还没有上次结果"}));
}

TEST_F(TrayCommands, DiagnoseShowsOnlyANonEmptyReport) {
  EXPECT_EQ(run(1002), Done{});
  core.diagnosis = "engine: sense\nmic: ok";
  EXPECT_EQ(run(1002), (Done{"message engine: sense\nmic: ok"}));
  state.core.reset();
  EXPECT_EQ(run(1002), Done{});
}

TEST_F(TrayCommands, PlainCommandsReachTheirActions) {
  struct Case {
    int id;
    Done done;
  };
  const Case cases[] = {
      {1003, {"exit"}},
      {1004, {"settings 0"}},
      {1005, {"palette"}},
      {1006, {"settings 4"}},
      {1009, {"mini"}},
      {1010, {"self-test"}},
      {1014, {"self-test"}},
      {1011, {"mic-privacy"}},
      {1013, {"permissions"}},
      {1008, {"message " + tray_about_text()}},
      {0, {}},
      {1012, {}},
      {1100, {}},
      {-5, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.id), c.done) << c.id;
    EXPECT_TRUE(core.calls.empty()) << c.id;
  }
}

TEST_F(TrayCommands, CancelCallsTheCore) {
  EXPECT_EQ(run(1007), Done{});
  EXPECT_EQ(core.calls, (std::vector<std::string>{"cancel"}));
  state.core.reset();
  EXPECT_EQ(run(1007), Done{});
}

TEST_F(TrayCommands, RetrySegmentReportsSuccessAndFailure) {
  EXPECT_EQ(run(1201), (Done{"tip 言至：正在重识别第 2 段"}));
  EXPECT_EQ(core.calls, (std::vector<std::string>{"retry_segment 1"}));

  core.retry_code = KESU_ERR_FAILED;
  core.retry_error = "这段录音已经不在了";
  EXPECT_EQ(run(1200), (Done{"message 重识别第 1 段失败：这段录音已经不在了"}));

  core.retry_error.clear();
  EXPECT_EQ(run(1200), (Done{"message 重识别第 1 段失败：错误码 -3"}));

  state.core.reset();
  EXPECT_EQ(run(1203), (Done{"message 重识别第 4 段失败：没有运行中的实例"}));
}

TEST_F(TrayCommands, MenuInputsComeFromStateAndCore) {
  state.phase = "listening";
  core.last_result = "上一句";
  core.failed_segments = "[0,1,2]";
  TrayMenuInputs in = read_tray_menu_inputs(state, true);
  EXPECT_EQ(in.phase, "listening");
  EXPECT_TRUE(in.has_core);
  EXPECT_EQ(in.last_result, std::optional<std::string>("上一句"));
  EXPECT_EQ(in.failed_segments_json, "[0,1,2]");
  EXPECT_TRUE(in.developer_mode);

  // The second failed segment in the submenu retries index 1.
  const auto items = build_tray_menu(in);
  const auto sub = std::find_if(items.begin(), items.end(),
                                [](const auto& i) { return i.kind == TrayItemKind::Submenu; });
  ASSERT_NE(sub, items.end());
  EXPECT_EQ(run(sub->children[1].id), (Done{"tip 言至：正在重识别第 2 段"}));
  EXPECT_EQ(core.calls, (std::vector<std::string>{"retry_segment 1"}));

  state.core.reset();
  in = read_tray_menu_inputs(state, false);
  EXPECT_FALSE(in.has_core);
  EXPECT_FALSE(in.last_result.has_value());
  EXPECT_EQ(build_tray_menu(in)[0].text, "言至 · 就绪");
}

}  // namespace
}  // namespace kesu::shell
