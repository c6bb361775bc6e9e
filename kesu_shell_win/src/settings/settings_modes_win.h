#pragma once

// The settings window's command-line test modes, run on the user-interface thread with the
// real window: each drives it as a user would and writes its result lines to the main log.

#include <optional>

#include "main/cli.h"
#include "settings/settings_window_win.h"

namespace kesu::shell::win {

enum class SettingsModePoint {
  core,      // before the application exists: the keyboard demos
  state,     // once the application state exists: page smoke and object counts
  end,       // the save, per-application and timing tests
  settings,  // with the settings switches: the microphone test
};

// The exit code when a mode of this point ran and ends the process.
std::optional<int> run_settings_modes(SettingsModePoint point, const Args& args,
                                      SettingsWindow& window, AppState& state);

}  // namespace kesu::shell::win
