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

namespace kesu::shell::win {

// The tooltip text the tray icon shows; kept here until the icon exists and applies it.
class TooltipHolder final : public TrayView {
 public:
  void set_tooltip(std::string_view text) override;
  std::string text() const;

 private:
  mutable std::mutex mu_;
  std::string text_;  // guarded by mu_
};

class DesktopHost final : public ShellHost {
 public:
  void set_dpi_awareness() override;
  bool hand_over_to_running_instance() override;
  void create_windows(AppState& state) override;
  Views views() override;
  void install_keyboard_capture(HotkeyHolder& hotkey) override;
  void add_tray() override;
  void start_hotkey_sim(const Args& args, HotkeyHolder& hotkey) override;
  int register_event_callback(const CoreBinding& core) override;
  int message_loop(EventIntake& intake) override;

 private:
  MessageWindowContext context_;
  DestroyWindowHandle window_;
  TooltipHolder tooltip_;
  std::unique_ptr<DesktopDictation> dictation_;
  NullViews rest_;
  // Timed hides on their own threads may still reach these after the loop ends; they are left
  // to the process exit.
  std::unique_ptr<WinOverlay> overlay_window_;
  std::unique_ptr<StatusOverlay> overlay_;
};

}  // namespace kesu::shell::win
