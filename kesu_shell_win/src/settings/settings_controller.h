#pragma once

// What the settings window does, decided without Win32: which controls a page has, and what a
// command from one of them does. The window executes: it creates the controls, reads their
// current values through SettingsSurface, and shows what the controller asks for.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "main/app_state.h"
#include "main/core_calls.h"
#include "settings/page_spec.h"

namespace kesu::shell {

// The window's current controls, as the controller reads and changes them.
class SettingsSurface {
 public:
  virtual ~SettingsSurface() = default;
  virtual void rebuild() = 0;
  virtual void repaint() = 0;
  virtual void hide() = 0;
  // The text of an edit box; nullopt when it is not on the current page.
  virtual std::optional<std::string> text_of(int id) const = 0;
  virtual void set_text(int id, std::string_view text) = 0;
  // The selected row of a list box (-1 for none); nullopt when it is not on the current page.
  virtual std::optional<int> selected_row(int id) const = 0;
  virtual std::string row_text(int id, int row) const = 0;
  virtual std::optional<std::string> key_capture_value() const = 0;
  virtual void set_key_capture_value(std::string_view value) = 0;
  // The key capture control takes the keyboard focus, waiting for a key.
  virtual void focus_key_capture() = 0;
};

// What the controller reaches outside the window.
struct SettingsServices {
  std::function<void(std::string_view)> warning;    // message box, or standard error when quiet
  std::function<bool(std::string_view)> question;   // yes/no box; true only for yes
  std::function<void(std::string_view)> log;        // main log
  std::function<void()> reload_shell_config;        // hotkey, slot keys, media setting
  // Brings the logon registration in line; an error text on failure.
  std::function<std::optional<std::string>(bool)> sync_autostart;
  bool assume_consent = false;
};

// The outcome of the last voice enrolment: written by the enrolment's thread, taken by the
// window when the completion message arrives. A newer outcome replaces one not yet taken.
class EnrolmentSlot {
 public:
  struct Outcome {
    int code = 0;
    std::string message;
  };
  void put(Outcome outcome) {
    std::lock_guard lock(mu_);
    outcome_ = std::move(outcome);
  }
  std::optional<Outcome> take() {
    std::lock_guard lock(mu_);
    return std::exchange(outcome_, std::nullopt);
  }

 private:
  std::mutex mu_;
  std::optional<Outcome> outcome_;
};

class SettingsController {
 public:
  SettingsController(AppState& state, SettingsServices services);

  int page() const { return page_; }
  // A page entered anew reads its flags from the configuration again.
  void set_page(int page) {
    if (page != page_) paste_known_ = false;
    page_ = page;
  }

  // The current page's controls from fresh data; records the toggles' initial states.
  PageSpec build_page();

  // A command from control `id` with notification `note`.
  void on_command(int id, int note, SettingsSurface& surface);

  // Leaving a page or hiding the window: a running level meter stops.
  void stop_meter();
  // Starts the level meter and rebuilds the page; the core's answer.
  int start_meter(SettingsSurface& surface);
  bool meter_running() const { return meter_running_; }
  bool paste_selected() const { return paste_selected_; }
  bool toggle_on(int id) const;
  // The level bar text for a level event, when the meter runs.
  std::optional<std::string> level_text(float level) const;

  // The common save routine: the patch through the core, then the shell's reload, the tooltip
  // and a rebuild; a warning on failure. True when saved.
  bool save_patch(const nlohmann::json& patch, SettingsSurface& surface);
  // A patch that only reports failure: no reload, no tooltip, no rebuild. True when saved.
  bool save_patch_quietly(const nlohmann::json& patch);
  // The trimmed text of edit box `id` saved as `key`, then `confirmation` in the tooltip; no
  // reload and no rebuild. Nothing happens when the box is not on the current page.
  bool save_text_key(int id, std::string_view key, std::string_view confirmation,
                     const SettingsSurface& surface);
  // The General page's save and, after it whatever its outcome, the per-application save.
  void save_general(SettingsSurface& surface);
  void save_per_app(SettingsSurface& surface);
  void save_audio(SettingsSurface& surface);

  EnrolmentSlot& enrolment() { return enrolment_; }
  // The enrolment finished (WM_APP+7): its outcome is reported, a success turns the voice lock
  // on, and the page is rebuilt.
  void on_enrolment_finished(SettingsSurface& surface);

 private:
  nlohmann::json read_config();
  // The patch through the core; "core 没起来" when it is not loaded.
  CallResult send_patch(const nlohmann::json& patch);
  void warn_save_failed(const CallResult& r);
  nlohmann::json read_devices();
  void apply_preset(int id, SettingsSurface& surface);
  void save_per_app_text(std::string_view text);
  void download_if_missing(std::string_view model, std::string_view name);
  void toggle_meter(SettingsSurface& surface);
  bool flip_toggle(int id);

  AppState& state_;
  SettingsServices services_;
  int page_ = 0;
  bool paste_selected_ = true;
  bool paste_known_ = false;
  bool meter_running_ = false;
  std::map<int, bool> toggles_;
  EnrolmentSlot enrolment_;
};

}  // namespace kesu::shell
