#pragma once

// What the event handling drives. Each window or service implements its interface; until a
// window exists its slot holds the no-op implementation, so handling stays the same when the
// windows arrive.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "overlay/overlay_state.h"

namespace kesu::shell {

class OverlayView {
 public:
  virtual ~OverlayView() = default;
  virtual void repaint() {}
  // May be called from any thread.
  virtual void hide() {}
  // An error tip ("! " and the message).
  virtual void show_tip(std::string_view text) { (void)text; }
  // A short piece of news, shown like a tip but not as an error.
  virtual void show_notice(std::string_view text) { (void)text; }
  // The text caret of the window in front, in screen pixels; nullopt when nothing is found.
  virtual std::optional<std::pair<int, int>> caret_anchor() { return std::nullopt; }
  virtual void set_level(float rms, float secs) { (void)rms, (void)secs; }
  // The active polish profile's badge (empty texts: no badge).
  virtual void show_profile(std::string_view icon, std::string_view name) { (void)icon, (void)name; }
};

class MiniView {
 public:
  virtual ~MiniView() = default;
  virtual void set_phase(std::string_view phase) { (void)phase; }
  virtual void set_saved_minutes(std::int64_t minutes) { (void)minutes; }
};

class TrayView {
 public:
  virtual ~TrayView() = default;
  virtual void set_tooltip(std::string_view text) { (void)text; }
  // Asynchronous message box.
  virtual void message(std::string_view text) { (void)text; }
};

class SettingsView {
 public:
  virtual ~SettingsView() = default;
  virtual bool is_open() const { return false; }
  virtual bool showing_history() const { return false; }
  virtual void open(int page) { (void)page; }
  virtual void refresh_history() {}
  virtual void mic_meter(float rms) { (void)rms; }
  virtual void download_progress(std::uint64_t received, std::uint64_t total) {
    (void)received, (void)total;
  }
};

class OnboardingView {
 public:
  virtual ~OnboardingView() = default;
  virtual bool is_open() const { return false; }
  // Opens at a step, or lets the wizard decide from the configuration whether to show at all.
  virtual void open_at(int step) { (void)step; }
  virtual void start_check() {}
  virtual bool waiting_for_test_sentence() const { return false; }
  virtual bool on_test_step() const { return false; }
  virtual bool probe_matches(std::string_view text) const { (void)text; return false; }
  virtual void hint(std::string_view text) { (void)text; }
  virtual void meter(float rms) { (void)rms; }
  virtual void display_text(std::string_view text) { (void)text; }
  virtual void download_progress(std::string_view id, std::uint64_t received,
                                 std::uint64_t total) {
    (void)id, (void)received, (void)total;
  }
  virtual void refresh_models() {}
};

// The push-to-talk side of a dictation: media pause and the mini-window origin.
class PushToTalkView {
 public:
  virtual ~PushToTalkView() = default;
  virtual void media_on_phase(std::string_view phase) { (void)phase; }
  virtual void idle_from_mini() {}
  virtual bool idle_origin_is_mini() const { return false; }
};

// Text insertion and the recovery of text left undelivered.
class InsertionView {
 public:
  virtual ~InsertionView() = default;
  virtual void start_insertion(std::string_view task_id, std::string_view text,
                               std::string_view mode) {
    (void)task_id, (void)text, (void)mode;
  }
  virtual void pending_result(std::string_view text) { (void)text; }
  // Offers text left undelivered by the previous run.
  virtual void recover_undelivered() {}
};

// Delayed work (the overlay's hide timers).
class Scheduler {
 public:
  virtual ~Scheduler() = default;
  virtual void after(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

// Detached sleeping threads.
class ThreadScheduler final : public Scheduler {
 public:
  void after(std::chrono::milliseconds delay, std::function<void()> work) override;
};

struct Views {
  OverlayModel* overlay_model;
  OverlayView* overlay;
  MiniView* mini;
  TrayView* tray;
  SettingsView* settings;
  OnboardingView* onboarding;
  PushToTalkView* push_to_talk;
  InsertionView* insertion;
  Scheduler* scheduler;
};

// The no-op set, for the parts that do not exist yet.
struct NullViews {
  OverlayModel overlay_model;
  OverlayView overlay;
  MiniView mini;
  TrayView tray;
  SettingsView settings;
  OnboardingView onboarding;
  PushToTalkView push_to_talk;
  InsertionView insertion;
  ThreadScheduler scheduler;

  Views views() {
    return {&overlay_model, &overlay, &mini, &tray, &settings, &onboarding, &push_to_talk, &insertion,
            &scheduler};
  }
};

}  // namespace kesu::shell
