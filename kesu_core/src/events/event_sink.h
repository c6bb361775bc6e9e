#pragma once

#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string_view>

#include "events/envelope.h"

namespace kesu {

using EventCallback = void (*)(const char* json, void* user);

// The callback slot and event delivery. The callback is copied under the lock and called outside
// it, so a callback may call back into the core without deadlocking.
class EventSink {
 public:
  void set(EventCallback cb, void* user);
  void clear();
  // Clears the slot and waits until deliveries already under way on other threads have returned,
  // so that nothing reaches the host after shutdown.
  void clear_and_drain();

  // Delivers one envelope; dropped when no callback is set or its text contains a NUL byte.
  void deliver(const nlohmann::json& envelope);
  // Core-level event (history changes, downloads): seq, session and generation are 0.
  void emit_core_event(std::string_view type, std::string_view payload_text);

 private:
  std::mutex mu_;
  std::condition_variable idle_cv_;
  EventCallback cb_ = nullptr;  // guarded by mu_
  void* user_ = nullptr;        // guarded by mu_
  int in_flight_ = 0;           // guarded by mu_: callbacks running right now
};

}  // namespace kesu
