#include <gtest/gtest.h>

#include <stdexcept>

#include "main/event_intake.h"

using namespace kesu::shell;

namespace {

struct RecordingOverlay : OverlayView {
  int repaints = 0, hides = 0;
  std::vector<std::string> tips, notices;
  std::vector<float> levels;
  std::optional<std::pair<int, int>> caret{{300, 200}};
  void repaint() override { ++repaints; }
  void hide() override { ++hides; }
  void show_tip(std::string_view t) override { tips.emplace_back(t); }
  void show_notice(std::string_view t) override { notices.emplace_back(t); }
  void set_level(float rms, float) override { levels.push_back(rms); }
  std::optional<std::pair<int, int>> caret_anchor() override { return caret; }
};

struct RecordingTray : TrayView {
  std::vector<std::string> tooltips, messages;
  void set_tooltip(std::string_view t) override { tooltips.emplace_back(t); }
  void message(std::string_view t) override { messages.emplace_back(t); }
};

struct RecordingSettings : SettingsView {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
  void download_progress(std::uint64_t r, std::uint64_t t) override { progress.emplace_back(r, t); }
};

struct RecordingDictation : InsertionView {
  std::vector<std::string> inserts;
  bool throw_on_pending = false;
  void start_insertion(std::string_view id, std::string_view text, std::string_view mode) override {
    inserts.push_back(std::string(id) + "|" + std::string(text) + "|" + std::string(mode));
  }
  void pending_result(std::string_view) override {
    if (throw_on_pending) throw std::runtime_error("boom");
  }
};

// Runs delayed work only when the test says so.
struct ManualScheduler : Scheduler {
  std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> queued;
  void after(std::chrono::milliseconds d, std::function<void()> w) override {
    queued.emplace_back(d, std::move(w));
  }
  void run_all() {
    for (auto& [d, w] : queued) w();
    queued.clear();
  }
};

struct Intake : ::testing::Test {
  OverlayModel model;
  RecordingOverlay overlay;
  MiniView mini;
  RecordingTray tray;
  RecordingSettings settings;
  OnboardingView onboarding;
  PushToTalkView push_to_talk;
  RecordingDictation dictation;
  ManualScheduler scheduler;
  AppState state;
  HotkeyHolder hotkey;
  OverlayTiming timing;
  std::vector<std::string> traces, errors, core_errors;
  std::unique_ptr<EventIntake> intake;

  void SetUp() override {
    state.views = {&model, &overlay, &mini, &tray, &settings, &onboarding, &push_to_talk, &dictation,
                   &scheduler};
    IntakeSinks sinks;
    sinks.trace = [this](std::string_view t) { traces.emplace_back(t); };
    sinks.stderr_line = [this](std::string_view t) { errors.emplace_back(t); };
    sinks.core_error = [this](std::string_view c, std::string_view m) {
      core_errors.push_back(std::string(c) + "|" + std::string(m));
    };
    sinks.raw_debug = [](std::string_view) {};
    sinks.raw_debug_on = [] { return false; };
    intake = std::make_unique<EventIntake>(state, hotkey, timing, sinks);
  }
  void send(const std::string& type, const std::string& payload = "") {
    intake->on_event(R"({"generation":0,)" +
                     (payload.empty() ? std::string() : R"("payload":)" + payload + ",") +
                     R"("schema":1,"seq":1,"session":1,"type":")" + type + R"("})");
  }
  bool traced(std::string_view line) const {
    return std::find(traces.begin(), traces.end(), line) != traces.end();
  }
};

}  // namespace

TEST_F(Intake, StateWithoutPayloadIsIdleAndHidesLater) {
  send("state");
  EXPECT_EQ(state.phase, "idle");
  EXPECT_EQ(model.phase, "done");
  EXPECT_EQ(tray.tooltips.back(), kTooltipReady);
  ASSERT_EQ(scheduler.queued.size(), 1u);
  EXPECT_EQ(scheduler.queued[0].first, std::chrono::milliseconds(900));
  EXPECT_EQ(overlay.hides, 0);
  scheduler.run_all();
  EXPECT_EQ(overlay.hides, 1);
}

TEST_F(Intake, OnlyTheLatestIdleHideActsAfterAPhaseInBetween) {
  send("state", R"({"phase":"idle"})");
  send("state", R"({"phase":"listening"})");
  EXPECT_EQ(tray.tooltips.back(), "言至：在听…");
  send("state", R"({"phase":"idle"})");
  scheduler.run_all();
  EXPECT_EQ(overlay.hides, 1);
}

TEST_F(Intake, ErrorTipSurvivesProcessingButNotANewRecording) {
  timing.set_tip_deadline(OverlayTiming::Clock::now() + std::chrono::seconds(1));
  model.phase = "tip";
  send("state", R"({"phase":"processing"})");
  EXPECT_EQ(model.phase, "tip");
  EXPECT_TRUE(traced("OVERLAY 保留错误提示，忽略状态 processing"));
  EXPECT_EQ(tray.tooltips.back(), "言至：识别中…");  // the tray still follows

  send("state", R"({"phase":"listening"})");
  EXPECT_TRUE(traced("OVERLAY 开始新一段，清掉旧提示"));
  EXPECT_EQ(model.phase, "listening");
  EXPECT_EQ(model.width, 190);
}

TEST_F(Intake, ErrorsChooseTipsByCode) {
  struct Case {
    std::string payload, tip, tooltip;
  };
  const Case cases[] = {
      {R"({"code":"mic_unavailable","message":"找不到输入设备：USB","device_missing":true})",
       "麦克风打不开：在「设置 → 音频」里改回系统默认设备", "言至：找不到输入设备：USB"},
      {R"({"code":"mic_unplugged","message":"拔掉了"})", "麦克风中断了，已保留中断前的内容",
       "言至：拔掉了"},
      {R"({"code":"polish_failed"})", "润色没成功，这次贴的是原话", "言至：润色没成功"},
      {R"({"code":"too_short","message":"太短"})", "太短", "言至：太短"},
      {R"({})", "出错了", "言至：出错了"},
  };
  for (const Case& c : cases) {
    send("error", c.payload);
    EXPECT_EQ(overlay.tips.back(), c.tip) << c.payload;
    EXPECT_EQ(tray.tooltips.back(), c.tooltip) << c.payload;
  }
  // Only events with a code reach the error log.
  EXPECT_EQ(core_errors.size(), 4u);
  EXPECT_EQ(core_errors[0], "mic_unavailable|找不到输入设备：USB");
}

TEST_F(Intake, DownloadProgressAndCompletion) {
  send("model_progress", R"({"id":"sense","received":5,"total":0})");
  EXPECT_TRUE(tray.tooltips.empty());
  ASSERT_EQ(settings.progress.size(), 1u);
  send("model_progress", R"({"id":"sense","received":18446744073709551615,"total":18446744073709551615})");
  EXPECT_EQ(tray.tooltips.back(), "言至：正在下载模型 100%");
  send("model_done", R"({"id":"sense"})");
  EXPECT_EQ(tray.tooltips.back(), "言至：语音模型已就绪");
  EXPECT_EQ(overlay.tips.back(), "语音模型下载完成，现在可以按住 右 Alt 说话了");
  send("model_done", R"({"id":"gtcrn"})");
  EXPECT_EQ(overlay.tips.back(), "降噪模型下载完成");
  send("model_failed", R"({"id":"sense"})");
  EXPECT_EQ(tray.tooltips.back(), "言至：模型下载失败（下载失败）");
}

TEST_F(Intake, SubmitRequestStartsInsertionWithPasteByDefault) {
  send("submit_request", R"({"task_id":"t1-1","text":"你好"})");
  send("result", R"({"text":"你好"})");
  ASSERT_EQ(dictation.inserts.size(), 1u);
  EXPECT_EQ(dictation.inserts[0], "t1-1|你好|paste");
  EXPECT_EQ(model.text, "你好");
  EXPECT_EQ(model.phase, "inserting");
  EXPECT_EQ(tray.tooltips.back(), "言至：已上屏");
}

TEST_F(Intake, AFailingEventIsReportedAndTheNextIsHandled) {
  dictation.throw_on_pending = true;
  send("pending_result", R"({"text":"x"})");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("[kesu] 处理事件时出错（已忽略这一条，程序继续）：{", 0), 0u);
  EXPECT_TRUE(state.mu.try_lock());  // the lock was released on the way out
  state.mu.unlock();
  send("state", R"({"phase":"processing"})");
  EXPECT_EQ(state.phase, "processing");
  intake->on_event("not json");
  intake->on_event("");
  EXPECT_EQ(errors.size(), 1u);
}

TEST_F(Intake, RecordingStartAnchorsAtTheCaret) {
  send("state", R"({"phase":"starting"})");
  EXPECT_TRUE(model.has_anchor);
  EXPECT_EQ(model.anchor_x, 300);
  overlay.caret.reset();
  send("state", R"({"phase":"listening"})");
  EXPECT_FALSE(model.has_anchor);
}

TEST_F(Intake, OnlyARecordingsLevelReachesTheOverlay) {
  // The settings window's level test runs while no dictation records.
  send("meter", R"({"rms":0.5,"secs":1})");
  EXPECT_TRUE(overlay.levels.empty());
  send("state", R"({"phase":"listening"})");
  send("meter", R"({"rms":0.5,"secs":1})");
  ASSERT_EQ(overlay.levels.size(), 1u);
  EXPECT_FLOAT_EQ(overlay.levels[0], 0.5f);
  EXPECT_EQ(model.level, 0);  // smoothing belongs to the overlay alone
  send("state", R"({"phase":"processing"})");
  send("meter", R"({"rms":0.5,"secs":1})");
  EXPECT_EQ(overlay.levels.size(), 1u);
}

TEST_F(Intake, NoticesAndGoodNewsAreShownButNotAsErrors) {
  send("notice", R"({"code":"record_limit","message":"到 60 秒上限了"})");
  send("notice", R"({"code":"voice_skipped","message":"略过 2 段"})");
  send("notice", R"({"code":"polish_failed","message":"润色没成功，已用原文：超时"})");
  send("notice", R"({"code":"lan_listening","message":"http://0.0.0.0:1"})");
  send("error", R"({"code":"engine_ready","message":"已切换到 sense，下次录音生效"})");
  const std::vector<std::string> expected{"到 60 秒上限了", "略过 2 段", "润色没成功，已用原文：超时",
                                          "已切换到 sense，下次录音生效"};
  EXPECT_EQ(overlay.notices, expected);
  EXPECT_TRUE(overlay.tips.empty());
  EXPECT_TRUE(core_errors.empty());
  EXPECT_EQ(tray.tooltips.back(), "言至：已切换到 sense，下次录音生效");
}
