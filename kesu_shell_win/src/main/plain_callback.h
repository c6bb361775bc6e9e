#pragma once

// The event callback of the command-line test modes: no window, just the last-event slot and
// the event log.

#include <string>

namespace kesu::shell {

// Registered with a NULL user pointer; runs on core threads.
void plain_event_callback(const char* json, void* user);
std::string last_event();

}  // namespace kesu::shell
