#pragma once

// The notification-area icon: its record with the shell, the tooltip, the popup menu and the
// asynchronous message box. Owned by the message window, which receives its callbacks.

#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main/views.h"
#include "main/win_handles.h"
#include "tray/tray_menu.h"

namespace kesu::shell::win {

inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;
inline constexpr UINT kTrayIconId = 1;

class TrayIcon final : public TrayView {
 public:
  TrayIcon() = default;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Any thread.
  void set_tooltip(std::string_view text) override;
  void message(std::string_view text) override;

  // NIM_ADD; the window is remembered even when the shell refuses, so the periodic check adds
  // the icon later.
  bool add(HWND window);
  // Re-adds the icon when the shell has lost it (Explorer restarted).
  void ensure();
  // NIM_DELETE, and the window forgotten.
  void remove();
  // (delete worked and the next modify failed, the modify after ensure() worked).
  std::pair<bool, bool> drop_test();
  // Shows the menu at the cursor and waits; the chosen command id, 0 when none.
  int track_menu(HWND owner, const std::vector<TrayMenuItem>& items);

 private:
  HWND window() const;
  std::wstring tooltip() const;
  HICON icon();
  bool notify(DWORD action, UINT flags);

  mutable std::mutex window_mu_;
  HWND window_ = nullptr;  // guarded by window_mu_
  mutable std::mutex tip_mu_;
  std::string tip_;  // guarded by tip_mu_
  std::once_flag icon_once_;
  DestroyIconHandle file_icon_;  // set once under icon_once_
  HICON icon_ = nullptr;         // set once under icon_once_
};

}  // namespace kesu::shell::win
