#pragma once

// The profile-slot keys: combinations that switch the active polish profile.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "main/hotkey.h"

namespace kesu::shell {

struct SlotKey {
  std::string name;  // the profile's name, passed to kesu_set_active_profile
  std::string icon;
  HotkeySpec spec;
};

// The usable slot keys of the profiles JSON, in array order. A slot without a Shift, Ctrl or Alt
// modifier would fire while typing, so it is skipped with a warning.
std::vector<SlotKey> parse_slot_keys(std::string_view profiles_json,
                                     const std::function<void(std::string_view)>& warn);

class SlotKeyList {
 public:
  void set(std::vector<SlotKey> keys);
  std::vector<SlotKey> get() const;

 private:
  mutable std::mutex mu_;
  std::vector<SlotKey> keys_;  // guarded by mu_
};

}  // namespace kesu::shell
