#pragma once

// The correction observer watches the target after a verified insertion to learn the user's
// corrections. It is started from here; until it exists the call does nothing.

#include <string_view>

namespace kesu::shell {

void start_correction_observer(std::string_view inserted_text);

}  // namespace kesu::shell
