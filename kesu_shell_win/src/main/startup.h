#pragma once

// The shell's entry: start-up in its fixed order, the test modes at their points, then the
// message loop. Platform work goes through ShellHost.

#include <optional>
#include <span>

#include "main/app_state.h"
#include "main/cli.h"
#include "main/dynamic_library.h"
#include "main/event_intake.h"
#include "main/hotkey.h"
#include "main/payloads.h"

namespace kesu::shell {

// The points of start-up where the settings window's test modes run.
enum class WindowModePoint { core, state, end, settings };

class ShellHost {
 public:
  virtual ~ShellHost() = default;
  virtual void set_dpi_awareness() {}
  // Finds a running instance and asks it to open its settings and show its notice.
  virtual bool hand_over_to_running_instance() = 0;
  // The hidden message window and the status overlay.
  virtual void create_windows(AppState& state) = 0;
  virtual Views views() = 0;
  virtual void install_keyboard_capture(HotkeyHolder& hotkey) { (void)hotkey; }
  // The tray icon; with `drop_test` its removal and re-adding are tried at once.
  virtual void add_tray(bool drop_test) { (void)drop_test; }
  virtual void create_mini_window(bool show) { (void)show; }
  virtual void reconcile_autostart(bool launch_at_login) { (void)launch_at_login; }
  // "--hotkey-sim": presses and releases a key through the key handler, on a worker thread.
  virtual void start_hotkey_sim(const Args& args, HotkeyHolder& hotkey);
  // The windowed event callback, delivering to the user-interface thread.
  virtual int register_event_callback(const CoreBinding& core) = 0;
  // The test modes tried last, in the running application; the exit code when one ended it.
  virtual std::optional<int> run_late_modes(const Args& args) {
    (void)args;
    return std::nullopt;
  }
  // The settings window's test modes at `point`; the exit code when one ran. At the core point
  // the application state does not exist yet: the host builds the window on `core` alone.
  virtual std::optional<int> run_window_modes(WindowModePoint point, const Args& args,
                                              const CoreBinding& core);
  virtual int message_loop(EventIntake& intake) = 0;
};

// Flags taken from the command line, read by later parts.
bool developer_mode_on();
bool assume_consent();

int run_shell(const Args& args, ShellHost& host, LibraryOpener& opener,
              std::span<const Payload> payloads);

}  // namespace kesu::shell
