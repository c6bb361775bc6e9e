#pragma once

// What the tray's commands do, decided here; the desktop side implements the effects.

#include <string_view>

#include "main/app_state.h"
#include "tray/tray_menu.h"

namespace kesu::shell {

class TrayActions {
 public:
  virtual ~TrayActions() = default;
  // True when the text reached the clipboard.
  virtual bool copy_to_clipboard(std::string_view text) = 0;
  virtual void set_tooltip(std::string_view text) = 0;
  // The asynchronous message box; never waits for the user.
  virtual void message(std::string_view text) = 0;
  virtual void open_settings(int page) = 0;
  virtual void open_palette() = 0;
  // Shows or hides the mini window and stores the choice.
  virtual void toggle_mini() = 0;
  // Removes the keyboard hook and the icon, then ends the message loop.
  virtual void exit_app() = 0;
  // The microphone self-test, on a worker thread.
  virtual void start_self_test() = 0;
  virtual void open_mic_privacy_settings() = 0;
  virtual void show_permission_report() = 0;
};

inline constexpr int kSettingsPageGeneral = 0;
inline constexpr int kSettingsPageHistory = 4;

// Core calls are made under state.mu; the effects run after the lock is released.
void run_tray_command(int id, AppState& state, TrayActions& actions);

// What the menu shows, read from the application state and the core: the phase and last result
// under one hold of state.mu, then the failed segments under another.
TrayMenuInputs read_tray_menu_inputs(AppState& state, bool developer_mode);

}  // namespace kesu::shell
