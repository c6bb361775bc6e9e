#include <windows.h>

#include "inject/own_input.h"
#include "main/menu_mask.h"

namespace kesu::shell {

void send_menu_mask() {
  INPUT keys[2]{};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = kMenuMaskKey;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  OwnInputScope own;
  (void)::SendInput(2, keys, sizeof(INPUT));
}

}  // namespace kesu::shell
