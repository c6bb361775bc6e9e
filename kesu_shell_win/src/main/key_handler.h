#pragma once

// Every key press and release, from the low-level hook and from Raw Input, reaches this handler
// on the user-interface thread: Esc cancels, left Ctrl + left Alt + E opens the selection
// palette, a profile-slot key switches the polish profile, and the push-to-talk key drives the
// controller. Both sources deliver each key; the controller's held flag absorbs the copies.

#include <cstdint>
#include <functional>
#include <string_view>

#include "main/hotkey.h"
#include "main/push_to_talk.h"
#include "main/slot_keys.h"

namespace kesu::shell {

struct KeyHandlerPorts {
  KeyDownFn is_down;  // asynchronous key state
  std::function<void()> cancel;
  std::function<void()> open_palette;
  std::function<void(const SlotKey&)> switch_profile;
  std::function<void(std::string_view)> raw_debug;  // called only with the raw-debug switch on
  std::function<bool()> raw_debug_on;
};

// Raw Input does not mark synthesised keys. Records without a device, and anything arriving
// while the shell itself is sending keys, are not the user's and are dropped.
bool accept_raw_input(bool has_device, bool own_input_recent);

// Generic Shift/Ctrl/Alt codes turned into their left/right codes.
std::uint16_t normalise_key(std::uint16_t vk, bool is_extended);

class KeyHandler {
 public:
  KeyHandler(HotkeyHolder& hotkey, SlotKeyList& slots, PushToTalk& ptt, KeyHandlerPorts ports);

  void on_key(std::uint16_t vk, bool is_release, bool is_extended);

 private:
  HotkeyHolder& hotkey_;
  SlotKeyList& slots_;
  PushToTalk& ptt_;
  KeyHandlerPorts ports_;
};

}  // namespace kesu::shell
