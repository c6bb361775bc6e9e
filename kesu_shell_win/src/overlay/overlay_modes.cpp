#include "overlay/overlay_modes.h"

#include <cmath>
#include <cstdlib>

namespace kesu::shell {

std::optional<int> overlay_scale_percent(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text->c_str(), &end);
  if (end == text->c_str() || *end != '\0' || !(value > 0) || value > 1000) return std::nullopt;
  // Small numbers are factors, larger ones percentages.
  return static_cast<int>(std::lround(value <= 10 ? value * 100 : value));
}

}  // namespace kesu::shell
