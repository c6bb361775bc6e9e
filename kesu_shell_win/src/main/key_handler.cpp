#include "main/key_handler.h"

#include <cstdio>
#include <string>

#include "main/virtual_keys.h"

namespace kesu::shell {

namespace {

std::string hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

}  // namespace

bool accept_raw_input(bool has_device, bool own_input_recent) { return has_device && !own_input_recent; }

std::uint16_t normalise_key(std::uint16_t vk, bool is_extended) {
  switch (vk) {
    case 0x10: return 0xA0;  // Raw Input cannot tell the Shift keys apart
    case 0x11: return is_extended ? 0xA3 : 0xA2;
    case 0x12: return is_extended ? 0xA5 : 0xA4;
    default: return vk;
  }
}

KeyHandler::KeyHandler(HotkeyHolder& hotkey, SlotKeyList& slots, PushToTalk& ptt,
                       KeyHandlerPorts ports)
    : hotkey_(hotkey), slots_(slots), ptt_(ptt), ports_(std::move(ports)) {}

void KeyHandler::on_key(std::uint16_t raw_vk, bool is_release, bool is_extended) {
  const std::uint16_t vk = normalise_key(raw_vk, is_extended);
  if (vk == vk::kEscape) {
    if (!is_release) ports_.cancel();
    return;
  }
  if (!is_release && vk == vk::kE && ports_.is_down(vk::kLeftCtrl) && ports_.is_down(vk::kLeftAlt)) {
    ports_.open_palette();
    return;
  }
  if (!is_release) {
    for (const SlotKey& slot : slots_.get()) {
      if (hotkey_matches(slot.spec, vk, false, ports_.is_down)) {
        ports_.switch_profile(slot);
        return;
      }
    }
  }
  const auto spec = hotkey_.get();
  if (!spec) return;
  const bool matched = hotkey_matches(*spec, vk, is_release, ports_.is_down);
  if (ports_.raw_debug_on()) {
    std::string mods = "[";
    for (std::size_t i = 0; i < spec->modifiers.size(); ++i) {
      mods += (i ? ", " : "") + std::string(ports_.is_down(spec->modifiers[i]) ? "true" : "false");
    }
    ports_.raw_debug("handle vk=" + hex(vk) + " break=" + (is_release ? "true" : "false") +
                     " spec=" + spec->raw + " matched=" + (matched ? "true" : "false") +
                     " mods_down=" + mods + "]");
  }
  if (!matched) return;
  if (is_release) {
    ptt_.talk_up();
  } else {
    ptt_.hotkey_press();
  }
}

}  // namespace kesu::shell
