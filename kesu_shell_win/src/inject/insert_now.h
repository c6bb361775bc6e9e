#pragma once

// An insertion into whatever is in front right now, for the command-line test modes.

#include <string_view>

#include "inject/insertion.h"

namespace kesu::shell {

// Without a desktop (the Linux build) the answer is "undelivered".
InsertOutcome insert_now(std::string_view text, std::string_view mode);

}  // namespace kesu::shell
