#pragma once

// Key presses and mini-window clicks turned into the core's dictation calls: talk-down records
// the insertion target and starts recording, talk-up ends it. Runs on the user-interface thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "main/app_state.h"

namespace kesu::shell {

// What the controller needs to know about the window in front.
class ForegroundProbe {
 public:
  virtual ~ForegroundProbe() = default;
  // File name of the foreground window's program ("notepad.exe"); empty on any failure.
  virtual std::string app_name() = 0;
  virtual std::uintptr_t window() = 0;
  virtual bool belongs_to_this_process(std::uintptr_t window) = 0;
};

enum class Origin : std::uint8_t { None = 0, Hotkey = 1, Mini = 2 };

struct PushToTalkSinks {
  std::function<void(std::string_view)> trace;
  std::function<void(std::string_view)> raw_debug;  // called only with the raw-debug switch on
  std::function<bool()> raw_debug_on;
  // Right after a talk-down from the hotkey (the menu mask of an Alt key).
  std::function<void()> after_hotkey_down;
};

struct ActiveProfile {
  std::string name;
  std::string icon;
};
// The active profile from the profiles JSON; both empty when none is active or it is unreadable.
ActiveProfile active_profile(std::string_view profiles_json);

class PushToTalk {
 public:
  PushToTalk(AppState& state, ForegroundProbe& foreground, PushToTalkSinks sinks);

  // A matching press of the push-to-talk key (auto-repeat and duplicates absorbed by held).
  void hotkey_press();
  void talk_up();
  void mini_click();
  // Phase idle or done while a mini-window dictation ran: no key release will end it.
  void idle_from_mini();

  bool held() const;
  Origin origin() const { return origin_.load(); }

 private:
  void talk_down();
  // Sets held when it was clear; false when it was already set.
  bool take_held();

  AppState& state_;
  ForegroundProbe& foreground_;
  PushToTalkSinks sinks_;
  mutable std::mutex mu_;
  bool held_ = false;  // guarded by mu_
  std::atomic<Origin> origin_{Origin::None};
};

}  // namespace kesu::shell
