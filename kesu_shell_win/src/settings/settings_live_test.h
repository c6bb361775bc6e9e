#pragma once

// "--settings-live-test": settings written through the core and read back, as the settings
// window writes them, then everything it touched put back as it was.

#include "main/modes.h"

namespace kesu::shell {

// The "SETTINGSLIVE …" line's checks against a core; the line itself.
std::string settings_live_test(const CoreBinding* core);

}  // namespace kesu::shell
