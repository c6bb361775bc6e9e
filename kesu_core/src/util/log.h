#pragma once

#include <string_view>

namespace kesu {

// One diagnostic line on standard error: "[kesu]" + tag + " " + text. `tag` is "" or a
// sub-tag such as "[trace]". Whole lines are written at once so threads do not interleave.
void log_line(std::string_view text, std::string_view tag = "");

}  // namespace kesu
