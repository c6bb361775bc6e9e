#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kesu {

// A named polish style.
struct Profile {
  std::string name;
  std::string icon;
  std::string level;  // "off", "light", "medium" or "strong"
  std::string prompt;
  std::string slot;   // hotkey in the shell's notation, may be empty

  bool operator==(const Profile&) const = default;
};

// The three styles a new installation starts with; the first is active.
std::vector<Profile> builtin_profiles();

// A known level word (English or Chinese) in its canonical form; anything else is "light".
std::string normalise_profile_level(std::string_view level);

// The slots given to the first three profiles when a list has none at all.
inline constexpr const char* kDefaultSlots[] = {"CTRL+ALT+1", "CTRL+ALT+2", "CTRL+ALT+3"};

}  // namespace kesu
