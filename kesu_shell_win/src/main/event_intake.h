#pragma once

// Core events on the user-interface thread: parse, decide, and drive the views.

#include <functional>

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

#include "main/app_state.h"
#include "main/hotkey.h"
#include "main/overlay_timing.h"

namespace kesu::shell {

// Where the handling writes its diagnostics; the defaults go to the real logs.
struct IntakeSinks {
  std::function<void(std::string_view)> trace;
  std::function<void(std::string_view)> stderr_line;
  std::function<void(std::string_view, std::string_view)> core_error;
  std::function<void(std::string_view)> raw_debug;  // called only with the raw-debug switch on
  std::function<bool()> raw_debug_on;

  static IntakeSinks real();
};

class EventIntake {
 public:
  EventIntake(AppState& state, HotkeyHolder& hotkey, OverlayTiming& timing, IntakeSinks sinks);

  // One event text as delivered by the core. Never throws: a failure inside the handling is
  // reported on standard error and the event is dropped.
  void on_event(std::string_view text);
  // The window message form: UTF-16 units.
  void on_event_units(std::u16string_view units);

 private:
  using Json = nlohmann::json;
  using Handler = void (EventIntake::*)(const Json* payload);
  struct Route {
    std::string_view type;
    Handler handler;
  };
  static const Route kRoutes[];

  void handle(std::string_view text);
  void on_state(const Json* payload);
  void show_phase(const std::string& phase);
  void on_error(const Json* payload);
  void on_notice(const Json* payload);
  void on_meter(const Json* payload);
  void on_result(const Json* payload);
  void on_submit_request(const Json* payload);
  void on_partial_text(const Json* payload);
  void on_pending_result(const Json* payload);
  void on_model_progress(const Json* payload);
  void on_model_done(const Json* payload);
  void on_model_failed(const Json* payload);

  AppState& state_;
  HotkeyHolder& hotkey_;
  OverlayTiming& timing_;
  IntakeSinks sinks_;
};

// Tray texts used outside the event handling too.
inline constexpr std::string_view kTooltipReady = "言至：就绪（按住右 Alt 说话）";

}  // namespace kesu::shell
