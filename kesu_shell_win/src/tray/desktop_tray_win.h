#pragma once

// The tray icon and the mini window on the desktop, and what their commands do there.

#include <windows.h>

#include "inject/insert_platform_win.h"
#include "main/app_state.h"
#include "main/hotkey.h"
#include "main/push_to_talk.h"
#include "tray/mini_window_win.h"
#include "tray/tray_commands.h"
#include "tray/tray_icon_win.h"
#include "tray/tray_modes.h"

namespace kesu::shell::win {

class DesktopTray final : public TrayActions {
 public:
  // On the user-interface thread, once the message window exists.
  DesktopTray(AppState& state, HWND message_window);

  TrayIcon& icon() { return icon_; }
  MiniWindow& mini() { return mini_; }

  void add_icon();
  void create_mini(bool show, PushToTalk& ptt, HotkeyHolder& hotkey);
  // WM_APP+1 from the icon.
  void on_icon_message(LPARAM mouse_message);
  // The five-second check and Explorer's restart.
  void check_icon();
  void show_menu();
  // The late test modes.
  std::optional<int> run_modes(const Args& args);

  bool copy_to_clipboard(std::string_view text) override;
  void set_tooltip(std::string_view text) override;
  void message(std::string_view text) override;
  void open_settings(int page) override;
  void open_palette() override;
  void toggle_mini() override;
  void exit_app() override;
  void start_self_test() override;
  void open_mic_privacy_settings() override;
  void show_permission_report() override;

 private:
  void store_mini_setting(bool shown);

  AppState& state_;
  HWND window_;
  TrayIcon icon_;
  MiniWindow mini_;
  WinInsertPlatform clipboard_{false};  // user-interface thread only
};

}  // namespace kesu::shell::win
