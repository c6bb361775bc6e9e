#include "main/push_to_talk.h"

#include <nlohmann/json.hpp>

#include "main/core_calls.h"
#include "main/insertion_target.h"
#include "main/json_members.h"

namespace kesu::shell {

using Json = nlohmann::json;

namespace {

}  // namespace

ActiveProfile active_profile(std::string_view profiles_json) {
  const Json json = Json::parse(profiles_json, nullptr, false);
  if (!json.is_object()) return {};
  const auto list = json.find("profiles");
  if (list == json.end() || !list->is_array()) return {string_member(json, "active"), {}};
  for (const Json& p : *list) {
    if (!p.is_object()) continue;
    const auto active = p.find("active");
    if (active != p.end() && active->is_boolean() && active->get<bool>()) {
      return {string_member(p, "name"), string_member(p, "icon")};
    }
  }
  return {};
}

PushToTalk::PushToTalk(AppState& state, ForegroundProbe& foreground, PushToTalkSinks sinks)
    : state_(state), foreground_(foreground), sinks_(std::move(sinks)) {}

bool PushToTalk::held() const {
  std::lock_guard lock(mu_);
  return held_;
}

bool PushToTalk::take_held() {
  std::lock_guard lock(mu_);
  if (held_) return false;
  held_ = true;
  return true;
}

void PushToTalk::hotkey_press() {
  sinks_.trace("talk_down-in");
  if (!take_held()) return;
  origin_ = Origin::Hotkey;
  talk_down();
  if (sinks_.after_hotkey_down) sinks_.after_hotkey_down();
}

void PushToTalk::talk_down() {
  const std::string app = foreground_.app_name();
  // The shell's own windows (overlay, mini window, settings) never become the target: the text
  // goes to the window the user dictated into before.
  if (const std::uintptr_t fg = foreground_.window(); fg != 0 && !foreground_.belongs_to_this_process(fg)) {
    set_insertion_target(fg);
  }
  OverlayView* overlay = nullptr;
  std::string profiles;
  {
    std::lock_guard lock(state_.mu);
    overlay = state_.views.overlay;
    if (state_.core) profiles = CoreCalls(*state_.core).get_profiles();
  }
  const ActiveProfile profile = active_profile(profiles);
  if (overlay != nullptr) overlay->show_profile(profile.icon, profile.name);
  if (sinks_.raw_debug_on()) sinks_.raw_debug("hotkey_down app=" + app);
  {
    std::lock_guard lock(state_.mu);
    if (state_.core) {
      const CoreCalls core(*state_.core);
      (void)core.note_foreground_app(app);
      (void)core.hotkey_down();
    }
  }
  sinks_.trace("talk_down-out");
}

void PushToTalk::talk_up() {
  sinks_.trace("talk_up-in");
  {
    std::lock_guard lock(mu_);
    if (!held_) return;
    held_ = false;
    origin_ = Origin::None;
  }
  // The push-to-talk lock is released before the state lock is taken, so no path ever holds
  // both (the event handling, which holds the state lock, clears held for the mini window).
  {
    std::lock_guard lock(state_.mu);
    if (state_.core) (void)CoreCalls(*state_.core).hotkey_up();
  }
  sinks_.trace("talk_up-out");
}

void PushToTalk::mini_click() {
  std::string phase;
  {
    std::lock_guard lock(state_.mu);
    phase = state_.core ? state_.phase : "idle";
  }
  if (phase.empty()) phase = "idle";
  if (phase == "listening" || phase == "starting") {
    talk_up();
  } else if (phase == "idle" || phase == "done") {
    if (held()) return;
    sinks_.trace("talk_from_mini");
    if (!take_held()) return;
    origin_ = Origin::Mini;
    talk_down();
  }
}

void PushToTalk::idle_from_mini() {
  {
    std::lock_guard lock(mu_);
    held_ = false;
  }
  origin_ = Origin::None;
  sinks_.trace("迷你窗一段结束：放掉去重标记");
}

}  // namespace kesu::shell
