#include "main/menu_mask.h"

namespace kesu::shell {

namespace {
bool opens_menu(std::uint16_t vk) { return vk == 0xA4 || vk == 0xA5 || vk == 0x5B || vk == 0x5C; }
}  // namespace

bool needs_menu_mask(const HotkeySpec& spec) {
  // The menu opens for an Alt or Windows main key; an ordinary main key is itself the other key
  // pressed in between, which keeps it shut.
  return spec.main_kind == MainKind::Modifier && opens_menu(spec.main_key);
}

#ifndef _WIN32
void send_menu_mask() {}
#endif

}  // namespace kesu::shell
