#pragma once

// Marks the time during which the shell itself synthesises keys (Ctrl+V, typed text). Raw Input
// cannot tell such keys from the user's, so the key handler ignores that source meanwhile and
// for a short grace period after, while the synthesised records are still being delivered.

#include <chrono>

namespace kesu::shell {

inline constexpr std::chrono::milliseconds kOwnInputGrace{300};

class OwnInputScope {
 public:
  OwnInputScope();
  ~OwnInputScope();
  OwnInputScope(const OwnInputScope&) = delete;
  OwnInputScope& operator=(const OwnInputScope&) = delete;
};

// True while a scope is open, or within the grace period after the last one closed.
bool own_input_recent(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

}  // namespace kesu::shell
