#pragma once

// The overlay's command-line test modes.

#include <optional>
#include <string>

#include "main/modes.h"

namespace kesu::shell {

// "--caret-probe": the scale, the probe line and the caret found.
void caret_probe_mode(const ModeContext& ctx);
// "--overlay-demo": the overlay with the given scale, text and phase, for a few seconds.
void overlay_demo_mode(const ModeContext& ctx);
// "--dpi-report".
void dpi_report_mode(const ModeContext& ctx);

// "--overlay-scale" as a percentage: "1.5" and "150" both mean 150 %; nullopt when unreadable.
std::optional<int> overlay_scale_percent(const std::optional<std::string>& text);

}  // namespace kesu::shell
