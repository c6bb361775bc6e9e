#pragma once

// The Linux shell has no desktop: no windows, no tray, no single-instance window. It keeps the
// core alive, writes what the tray and overlay would show to the main log, and ends on SIGINT
// or SIGTERM.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "main/startup.h"

namespace kesu::shell {

class HeadlessHost final : public ShellHost {
 public:
  HeadlessHost();
  ~HeadlessHost() override;

  bool hand_over_to_running_instance() override { return false; }
  void create_windows(AppState& state) override;
  Views views() override;
  int register_event_callback(const CoreBinding& core) override;
  int message_loop(EventIntake& intake) override;
  std::optional<int> run_late_modes(const Args& args) override;
  void add_tray(bool drop_test) override;

  // Queues one event for the loop; called on core threads.
  void post(std::string text);

 private:
  class LogTray;
  class LogOverlay;
  class NoDesktopDictation;

  AppState* state_ = nullptr;
  std::unique_ptr<LogTray> tray_;
  std::unique_ptr<LogOverlay> overlay_;
  std::unique_ptr<NoDesktopDictation> dictation_;
  NullViews rest_;

  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::string> queue_;  // guarded by mu_
};

}  // namespace kesu::shell
