#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "main/core_binding.h"
#include "main/views.h"

namespace kesu::shell {

// The shell's one record of the running application.
struct AppState {
  // Held around every core call from the user-interface thread and for the whole handling of
  // one event; the push-to-talk lock, when both are needed, is taken first.
  std::mutex mu;
  std::string phase;                // guarded by mu: the last "state" phase
  std::optional<CoreBinding> core;  // guarded by mu
  Views views{};                    // set before the event callback is registered, then fixed
  std::atomic<bool> media_paused_by_us{false};
};

}  // namespace kesu::shell
