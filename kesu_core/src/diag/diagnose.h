#pragma once

#include <string>

#include "lib/shared_state.h"

namespace kesu {

// The plain-text status report of the core, one line per item, for the diagnostics page and
// the support bundle. Never fails: what is missing shows as missing.
std::string diagnose_report(const SharedState& shared);

}  // namespace kesu
