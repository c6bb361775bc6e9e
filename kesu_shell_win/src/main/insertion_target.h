#pragma once

// The window that receives dictated text: the foreground window at the last talk-down that did
// not belong to the shell. Written on the user-interface thread, read by insertion threads.

#include <cstdint>

namespace kesu::shell {

// A window handle as an integer (0: none yet), so the logic stays free of platform types.
std::uintptr_t insertion_target();
void set_insertion_target(std::uintptr_t window);

}  // namespace kesu::shell
