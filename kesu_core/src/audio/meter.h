#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>

namespace kesu {

// Levels over the most recent 2,400 samples (150 ms at 16 kHz), or all when fewer.
struct MeterLevels {
  double rms = 0;
  double peak = 0;
  bool silent = true;
};

inline constexpr std::size_t kMeterWindow = 2400;
inline constexpr double kSilenceRms = 0.003;
inline constexpr std::chrono::milliseconds kMeterInterval{66};

// `recent` is the tail of the recording; only its last kMeterWindow samples are used.
MeterLevels meter_levels(std::span<const float> recent);

// At most one meter event every 66 ms.
class MeterPacer {
 public:
  bool due(std::chrono::steady_clock::time_point now) {
    if (last_ && now - *last_ < kMeterInterval) return false;
    last_ = now;
    return true;
  }
  void reset() { last_.reset(); }

 private:
  std::optional<std::chrono::steady_clock::time_point> last_;
};

}  // namespace kesu
