#include "main/headless_host.h"

#include <csignal>

#include <atomic>
#include <chrono>
#include <thread>

#include "main/core_calls.h"
#include "main/logs.h"
#include "main/modes.h"
#include "main/platform.h"
#include "selection/palette_entry.h"
#include "tray/tray_modes.h"

namespace kesu::shell {

namespace {

std::atomic<bool> g_stop{false};

extern "C" void on_stop_signal(int) { g_stop.store(true); }

void headless_callback(const char* json, void* user) {
  try {
    if (json != nullptr) static_cast<HeadlessHost*>(user)->post(json);
  } catch (...) {
    // Nothing may unwind into the core's thread; a lost event only costs a log line.
  }
}

}  // namespace

class HeadlessHost::LogTray final : public TrayView {
 public:
  void set_tooltip(std::string_view text) override {
    trace("tooltip " + std::string(text));
    log_line(text);
  }
  void message(std::string_view text) override { log_line(text); }
};

class HeadlessHost::LogOverlay final : public OverlayView {
 public:
  void show_tip(std::string_view text) override { log_line("言至提示：" + std::string(text)); }
  void show_notice(std::string_view text) override { log_line("言至提示：" + std::string(text)); }
};

// Nothing can be inserted without a desktop: the text is logged and the core hears
// "undelivered", so it keeps the text for later instead of waiting for an answer.
class HeadlessHost::NoDesktopDictation final : public InsertionView {
 public:
  explicit NoDesktopDictation(AppState& state) : state_(state) {}
  void start_insertion(std::string_view task_id, std::string_view text,
                       std::string_view /*mode*/) override {
    log_line("言至：识别结果 " + std::string(text));
    // Called inside the event handling, which already holds the state lock.
    if (state_.core) {
      (void)CoreCalls(*state_.core).submit_result(task_id, "undelivered", "没有桌面，文字已保存");
    }
  }
  void pending_result(std::string_view text) override {
    log_line("言至：上次没上屏的文字 " + std::string(text));
  }

 private:
  AppState& state_;
};

namespace {

// Tray commands without a desktop: what they would show goes to the main log.
class LogTrayActions final : public TrayActions {
 public:
  explicit LogTrayActions(TrayView& tray) : tray_(tray) {}
  bool copy_to_clipboard(std::string_view) override { return false; }
  void set_tooltip(std::string_view text) override { tray_.set_tooltip(text); }
  void message(std::string_view text) override { log_line(text); }
  void open_settings(int page) override { log_line("设置窗口 没有桌面 page=" + std::to_string(page)); }
  void open_palette() override { open_selection_palette(); }
  void toggle_mini() override { log_line("MINI 没有桌面"); }
  void exit_app() override { g_stop = true; }
  void start_self_test() override { log_line("自测 尚未实现"); }
  void open_mic_privacy_settings() override { log_line("麦克风隐私设置 没有桌面"); }
  void show_permission_report() override { log_line(permission_report(platform::microphone_consent())); }

 private:
  TrayView& tray_;
};

}  // namespace

HeadlessHost::HeadlessHost() : tray_(std::make_unique<LogTray>()), overlay_(std::make_unique<LogOverlay>()) {}

HeadlessHost::~HeadlessHost() = default;

void HeadlessHost::create_windows(AppState& state) {
  state_ = &state;
  dictation_ = std::make_unique<NoDesktopDictation>(state);
}

Views HeadlessHost::views() {
  Views v = rest_.views();
  v.tray = tray_.get();
  v.overlay = overlay_.get();
  if (dictation_) v.insertion = dictation_.get();
  return v;
}

void HeadlessHost::add_tray(bool drop_test) {
  // There is no icon to drop or bring back.
  if (drop_test) log_line(tray_drop_line(false, false));
}

std::optional<int> HeadlessHost::run_late_modes(const Args& args) {
  if (state_ == nullptr) return std::nullopt;
  LogTrayActions actions(*tray_);
  const TrayModeContext ctx{args,
                            *state_,
                            actions,
                            developer_mode_on(),
                            [] { return false; },
                            [] { log_line("TRAYMENU 没有桌面，托盘菜单打不开"); },
                            [](std::string_view t) { log_line(t); },
                            [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); }};
  return run_tray_modes(ctx);
}

int HeadlessHost::register_event_callback(const CoreBinding& core) {
  return CoreCalls(core).set_event_cb(&headless_callback, this);
}

void HeadlessHost::post(std::string text) {
  {
    std::lock_guard lock(mu_);
    queue_.push_back(std::move(text));
  }
  cv_.notify_one();
}

int HeadlessHost::message_loop(EventIntake& intake) {
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  log_line("言至 在后台运行（无桌面模式）；Ctrl+C 结束");
  while (!g_stop.load()) {
    std::string event;
    {
      std::unique_lock lock(mu_);
      // Signals cannot wake a condition variable safely, so the wait is bounded.
      cv_.wait_for(lock, std::chrono::milliseconds(200), [&] { return !queue_.empty(); });
      if (queue_.empty()) continue;
      event = std::move(queue_.front());
      queue_.pop_front();
    }
    intake.on_event(event);
  }
  // Unlike the desktop shell, a stopped headless shell shuts the core down in order: its
  // threads would otherwise call into this host while the process unwinds.
  if (state_ != nullptr) {
    std::lock_guard lock(state_->mu);
    if (state_->core) CoreCalls(*state_->core).core_free();
    state_->core.reset();
  }
  log_line("言至 已退出");
  return 0;
}

}  // namespace kesu::shell
