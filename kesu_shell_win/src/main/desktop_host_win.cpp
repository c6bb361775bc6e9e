#include "main/desktop_host_win.h"

#include <thread>

#include "main/text.h"

#include "main/core_calls.h"
#include "main/keyboard_capture_win.h"
#include "main/logs.h"
#include "settings/autostart.h"
#include "settings/settings_modes_win.h"

namespace kesu::shell::win {

namespace {

bool ask_yes_no(std::string_view text) {
  if (quiet_mode()) {
    stderr_line("[kesu][quiet] " + std::string(text));
    return false;
  }
  const std::u16string units = utf8_to_utf16(text);
  const std::wstring wide(units.begin(), units.end());
  return ::MessageBoxW(nullptr, wide.c_str(), L"言至", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

SettingsServices settings_services(std::function<void()> reload) {
  SettingsServices services;
  services.warning = [](std::string_view t) { show_warning(t); };
  services.question = &ask_yes_no;
  services.log = [](std::string_view t) { log_line(t); };
  services.reload_shell_config = std::move(reload);
  services.sync_autostart = [](bool want) {
    const auto registry = make_system_autostart_registry();
    return sync_autostart(want, *registry);
  };
  services.assume_consent = assume_consent();
  return services;
}

}  // namespace

void DesktopHost::set_dpi_awareness() {
  // Looked up at run time: older systems lack the call, and a failure is harmless.
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return;
  auto set_context =
      reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
      ::GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
  if (set_context != nullptr) set_context(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)));
}

bool DesktopHost::hand_over_to_running_instance() {
  HWND running = ::FindWindowW(kMessageWindowClass, nullptr);
  if (running == nullptr) return false;
  ::PostMessageW(running, kMsgOpenSettings, 0, 0);
  ::PostMessageW(running, kMsgAlreadyRunning, 0, 0);
  return true;
}

void DesktopHost::create_windows(AppState& state) {
  context_.state = &state;
  window_ = create_message_window(context_);
  dictation_ = std::make_unique<DesktopDictation>(state, window_.get());
  context_.dictation = dictation_.get();
  tray_ = std::make_unique<DesktopTray>(state, window_.get());
  context_.tray = tray_.get();
  state_ = &state;
  settings_ = std::make_unique<SettingsWindow>(
      state, settings_services([this] {
        if (dictation_) dictation_->reload();
      }));
  overlay_window_ = std::make_unique<WinOverlay>();
  overlay_ = std::make_unique<StatusOverlay>(
      rest_.overlay_model, overlay_timing(), rest_.scheduler, *overlay_window_,
      OverlaySinks{[](std::string_view t) { log_line(t); }, [](std::string_view t) { trace(t); },
                   [] { return trace_on(); }});
}

Views DesktopHost::views() {
  Views v = rest_.views();
  if (tray_) {
    v.tray = &tray_->icon();
    v.mini = &tray_->mini();
  }
  if (overlay_) v.overlay = overlay_.get();
  if (settings_) v.settings = settings_.get();
  if (dictation_) {
    v.push_to_talk = dictation_->push_to_talk_view();
    v.insertion = dictation_->insertion_view();
  }
  return v;
}

void DesktopHost::install_keyboard_capture(HotkeyHolder& hotkey) {
  hotkey_ = &hotkey;
  if (dictation_) dictation_->start_capture(hotkey);
}

void DesktopHost::add_tray(bool drop_test) {
  if (tray_) {
    tray_->add_icon();
    if (drop_test) {
      const auto [dropped, back] = tray_->icon().drop_test();
      log_line(tray_drop_line(dropped, back));
    }
  }
  // Explorer's restart and the periodic check both put a lost icon back.
  context_.taskbar_created = ::RegisterWindowMessageW(L"TaskbarCreated");
  char line[96];
  std::snprintf(line, sizeof line, "tray-installed taskbar-created msg=0x%x", context_.taskbar_created);
  trace(line);
  const UINT_PTR token = ::SetTimer(window_.get(), kTrayTimerId, 5000, nullptr);
  trace("tray-timer set id=" + std::to_string(kTrayTimerId) + " token=" + std::to_string(token));
}

void DesktopHost::create_mini_window(bool show) {
  if (tray_ && dictation_ && hotkey_ != nullptr) tray_->create_mini(show, dictation_->push_to_talk(), *hotkey_);
}

void DesktopHost::reconcile_autostart(bool launch_at_login) {
  const std::optional<std::filesystem::path> exe = platform::executable_path();
  reconcile_autostart_registration(
      launch_at_login, *make_system_autostart_registry(), exe ? path_to_utf8(*exe) : std::string(),
      ReconcileSinks{[](std::string_view t) { log_line(t); },
                     [](std::string_view t) { platform::write_stderr(t); }, raw_debug_on()});
}

std::optional<int> DesktopHost::run_late_modes(const Args& args) {
  return tray_ ? tray_->run_modes(args) : std::nullopt;
}

std::optional<int> DesktopHost::run_window_modes(WindowModePoint point, const Args& args,
                                                 const CoreBinding& core) {
  if (point == WindowModePoint::core) {
    // No application yet: the demos get a window of their own on the bare core.
    if (!settings_window_switch(args, When::Core)) return std::nullopt;
    AppState bare;
    bare.core = core;
    bare.views = rest_.views();
    SettingsWindow window(bare, settings_services([] {}));
    return run_settings_modes(SettingsModePoint::core, args, window, bare);
  }
  if (!settings_ || state_ == nullptr) return std::nullopt;
  const SettingsModePoint at = point == WindowModePoint::state ? SettingsModePoint::state
                               : point == WindowModePoint::end ? SettingsModePoint::end
                                                               : SettingsModePoint::settings;
  return run_settings_modes(at, args, *settings_, *state_);
}

int DesktopHost::register_event_callback(const CoreBinding& core) {
  return CoreCalls(core).set_event_cb(&windowed_event_callback, window_.get());
}

int DesktopHost::message_loop(EventIntake& intake) {
  context_.intake = &intake;
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  context_.intake = nullptr;
  remove_keyboard_hook();
  // The core is not shut down: its threads end with the process. The window must outlive
  // them, so it is left to the process exit as well.
  (void)window_.release();
  (void)overlay_.release();
  (void)overlay_window_.release();
  (void)tray_.release();
  (void)settings_.release();
  return 0;
}

}  // namespace kesu::shell::win

namespace kesu::shell::win {

void DesktopHost::start_hotkey_sim(const Args& args, HotkeyHolder& hotkey) {
  if (args.has("--hotkey-sim-force")) hotkey.set(*parse_hotkey(kDefaultHotkey));
  const int secs = int_value(args.value("--hotkey-sim-secs"), 4);
  const unsigned vk = static_cast<unsigned>(int_value(args.value("--hotkey-sim-vk"), 165)) & 0xFF;
  const int rounds = int_value(args.value("--hotkey-sim-repeat"), 1);
  const int delay = int_value(args.value("--hotkey-sim-delay"), 1500);
  HWND window = window_.get();
  // The handler runs on the user-interface thread: the simulated keys travel the hook's way.
  // Right-hand modifiers carry the extended flag, as the hook reports them.
  const WPARAM extended = (vk == 0xA3 || vk == 0xA5) ? 0x200 : 0;
  std::thread([=] {
    try {
      ::Sleep(static_cast<DWORD>(delay));
      for (int round = 1; round <= rounds; ++round) {
        char line[64];
        std::snprintf(line, sizeof line, "SIM hotkey_down vk=0x%x round=%d", vk, round);
        log_line(line);
        ::PostMessageW(window, kMsgHookKey, vk | extended, 0);
        ::Sleep(static_cast<DWORD>(secs) * 1000);
        log_line("SIM hotkey_up");
        ::PostMessageW(window, kMsgHookKey, vk | extended | 0x100, 0);
        if (round < rounds) ::Sleep(2500);
      }
    } catch (...) {
    }
  }).detach();
}

}  // namespace kesu::shell::win
