#include "pipeline/lan_core_access.h"

#include "lib/shared_state.h"

namespace kesu {

lan::CoreAccess lan_core_access(const std::shared_ptr<SharedState>& shared) {
  std::weak_ptr<SharedState> weak = shared;
  return {shared->speech, [weak]() -> std::optional<lan::CoreSnapshot> {
            const std::shared_ptr<SharedState> state = weak.lock();
            if (!state) return std::nullopt;
            return lan::CoreSnapshot{state->config.snapshot()};
          }};
}

}  // namespace kesu
