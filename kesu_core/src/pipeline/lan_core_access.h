#pragma once

#include <memory>

#include "lan/lan_request.h"

namespace kesu {

struct SharedState;

// The LAN server's view of the core: the shared recogniser and, for each request, the current
// configuration and hotword rules. Holds the shared state weakly, so a request still running
// after the core has gone is refused instead of touching freed state.
lan::CoreAccess lan_core_access(const std::shared_ptr<SharedState>& shared);

}  // namespace kesu
