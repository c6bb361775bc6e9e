#include "audio/meter.h"

#include <cmath>

namespace kesu {

MeterLevels meter_levels(std::span<const float> recent) {
  if (recent.size() > kMeterWindow) recent = recent.last(kMeterWindow);
  MeterLevels levels;
  if (recent.empty()) return levels;
  double sum = 0;
  for (const float s : recent) {
    const double v = s;
    sum += v * v;
    levels.peak = std::max(levels.peak, std::fabs(v));
  }
  levels.rms = std::sqrt(sum / static_cast<double>(recent.size()));
  levels.silent = levels.rms < kSilenceRms;
  return levels;
}

}  // namespace kesu
