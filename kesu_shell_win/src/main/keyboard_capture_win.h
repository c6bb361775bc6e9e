#pragma once

// System-wide key capture: a low-level keyboard hook that posts every key to the message window,
// and Raw Input as a second source. Neither ever holds a key back from the focused program.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kesu::shell::win {

void set_hook_target(HWND window);
// Installs the hook (replacing the handle in the slot); false with the reason on standard error.
bool install_keyboard_hook();
void remove_keyboard_hook();
bool register_raw_input(HWND window);

struct RawKey {
  std::uint16_t vk = 0;
  bool is_release = false;
  bool is_extended = false;
  bool has_device = false;
};
// The keyboard record of a WM_INPUT message, if it is one.
std::optional<RawKey> read_raw_key(LPARAM input);

// The hook procedure's own time: keys seen, mean and worst microseconds.
std::string hook_timing_summary();

}  // namespace kesu::shell::win
