#pragma once

// The tray's and mini window's command-line test modes, run in the started application.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "main/app_state.h"
#include "main/cli.h"
#include "tray/tray_commands.h"

namespace kesu::shell {

struct TrayModeContext {
  const Args& args;
  AppState& state;
  TrayActions& actions;
  bool developer_mode;
  std::function<bool()> mini_visible;
  // Opens the tray menu the way a right click on the icon does.
  std::function<void()> open_menu;
  std::function<void(std::string_view)> log;
  std::function<void(std::chrono::milliseconds)> sleep;
};

// "--mini-toggle", "--tray-cmd", "--tray-menu-dump" end the process (their exit code is
// returned); "--tray-menu-demo" opens the menu and lets the application run on.
std::optional<int> run_tray_modes(const TrayModeContext& ctx);

// "TRAYDROP dropped={} back={}", the drop test's result line.
std::string tray_drop_line(bool dropped, bool back);

}  // namespace kesu::shell
