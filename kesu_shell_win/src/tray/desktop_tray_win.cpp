#include "tray/desktop_tray_win.h"

#include <nlohmann/json.hpp>

#include "main/core_calls.h"
#include "main/keyboard_capture_win.h"
#include "main/logs.h"
#include "main/message_pump_win.h"
#include "main/modes.h"
#include "main/startup.h"
#include "selection/palette_entry.h"

namespace kesu::shell::win {

DesktopTray::DesktopTray(AppState& state, HWND message_window)
    : state_(state), window_(message_window) {}

void DesktopTray::add_icon() { (void)icon_.add(window_); }

void DesktopTray::create_mini(bool show, PushToTalk& ptt, HotkeyHolder& hotkey) {
  MiniCallbacks callbacks;
  callbacks.on_close = [this] { store_mini_setting(false); };
  callbacks.on_settings = [this] { open_settings(kSettingsPageGeneral); };
  callbacks.on_button = [&ptt] { ptt.mini_click(); };
  if (!mini_.create(std::move(callbacks), [&hotkey] { return hotkey.display_name(); })) return;
  if (show) mini_.show();
}

void DesktopTray::on_icon_message(LPARAM mouse_message) {
  switch (tray_click_action(static_cast<unsigned>(mouse_message))) {
    case TrayClick::ShowMenu:
      show_menu();
      break;
    case TrayClick::OpenSettings:
      open_settings(kSettingsPageGeneral);
      break;
    case TrayClick::Ignore:
      break;
  }
}

void DesktopTray::check_icon() { icon_.ensure(); }

void DesktopTray::show_menu() {
  const auto items = build_tray_menu(read_tray_menu_inputs(state_, developer_mode_on()));
  const int chosen = icon_.track_menu(window_, items);
  if (chosen != 0) run_tray_command(chosen, state_, *this);
}

std::optional<int> DesktopTray::run_modes(const Args& args) {
  const TrayModeContext ctx{
      args,
      state_,
      *this,
      developer_mode_on(),
      [this] { return mini_.is_visible(); },
      [this] {
        // The right click a user would make on the icon, at a sensible place for the menu.
        ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 120, ::GetSystemMetrics(SM_CYSCREEN) - 60);
        ::PostMessageW(window_, kTrayCallbackMessage, 0, 0x205);
      },
      [](std::string_view t) { log_line(t); },
      [](std::chrono::milliseconds d) { serve_messages_for(d); },
  };
  return run_tray_modes(ctx);
}

bool DesktopTray::copy_to_clipboard(std::string_view text) {
  return clipboard_.write_clipboard(text) == ClipboardWrite::Written;
}

void DesktopTray::set_tooltip(std::string_view text) { icon_.set_tooltip(text); }

void DesktopTray::message(std::string_view text) { icon_.message(text); }

void DesktopTray::open_settings(int page) {
  if (state_.views.settings != nullptr) state_.views.settings->open(page);
}

void DesktopTray::open_palette() { open_selection_palette(); }

void DesktopTray::toggle_mini() { store_mini_setting(mini_.toggle()); }

void DesktopTray::exit_app() {
  remove_keyboard_hook();
  icon_.remove();
  ::PostQuitMessage(0);
}

void DesktopTray::start_self_test() {
  // The microphone self-test window comes with the diagnostics tools.
  trace("tray 自测 尚未实现");
  icon_.set_tooltip("言至：自测尚未实现");
}

void DesktopTray::open_mic_privacy_settings() {
  std::wstring command = L"cmd /c start \"\" ms-settings:privacy-microphone";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &si, &pi)) {
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  } else {
    trace("tray 打开麦克风隐私设置失败：" + std::to_string(::GetLastError()));
  }
}

void DesktopTray::show_permission_report() {
  icon_.message(permission_report(platform::microphone_consent()));
}

void DesktopTray::store_mini_setting(bool shown) {
  std::lock_guard lock(state_.mu);
  if (!state_.core) return;
  const CallResult r =
      CoreCalls(*state_.core).set_config_json(nlohmann::json{{"mini_window", shown}}.dump());
  if (r.code != 0) trace("mini_window 保存失败 rc=" + std::to_string(r.code) + " " + r.message);
}

}  // namespace kesu::shell::win
