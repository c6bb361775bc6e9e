#pragma once

// The Windows shell's platform side of start-up: message window, single instance, the message
// loop. Windows of their own (overlay, tray, mini window, settings) plug their views in here.

#include <memory>
#include <mutex>
#include <string>

#include "main/dictation_win.h"
#include "main/message_window_win.h"
#include "main/startup.h"
#include "overlay/overlay_win.h"
#include "settings/settings_window_win.h"
#include "tray/desktop_tray_win.h"

namespace kesu::shell::win {

class DesktopHost final : public ShellHost {
 public:
  void set_dpi_awareness() override;
  bool hand_over_to_running_instance() override;
  void create_windows(AppState& state) override;
  Views views() override;
  void install_keyboard_capture(HotkeyHolder& hotkey) override;
  void add_tray(bool drop_test) override;
  void create_mini_window(bool show) override;
  void reconcile_autostart(bool launch_at_login) override;
  void start_hotkey_sim(const Args& args, HotkeyHolder& hotkey) override;
  int register_event_callback(const CoreBinding& core) override;
  int message_loop(EventIntake& intake) override;
  std::optional<int> run_late_modes(const Args& args) override;
  std::optional<int> run_window_modes(WindowModePoint point, const Args& args,
                                      const CoreBinding& core) override;

 private:
  MessageWindowContext context_;
  DestroyWindowHandle window_;
  HotkeyHolder* hotkey_ = nullptr;
  std::unique_ptr<DesktopDictation> dictation_;
  NullViews rest_;
  // Timed hides on their own threads may still reach these after the loop ends; they are left
  // to the process exit.
  std::unique_ptr<WinOverlay> overlay_window_;
  std::unique_ptr<StatusOverlay> overlay_;
  std::unique_ptr<DesktopTray> tray_;
  std::unique_ptr<SettingsWindow> settings_;
  AppState* state_ = nullptr;
};

}  // namespace kesu::shell::win
