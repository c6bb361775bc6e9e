#pragma once

// A lone Alt press and release opens the focused program's menu bar, and a lone Windows key
// opens the Start menu; either would swallow the paste that follows the dictation. While such a
// push-to-talk key is held the shell taps an unassigned key (0xE8), so the system sees a
// combination and opens nothing. The user's key itself is never held back.

#include <cstdint>

#include "main/hotkey.h"

namespace kesu::shell {

inline constexpr std::uint16_t kMenuMaskKey = 0xE8;

// Whether holding and releasing this hotkey alone would open a menu.
bool needs_menu_mask(const HotkeySpec& spec);

// Sends the tap (Windows; nothing elsewhere). Marked as the shell's own input.
void send_menu_mask();

}  // namespace kesu::shell
