#pragma once

#include <string_view>

namespace kesu {

enum class Phase { idle = 0, starting = 1, listening = 2, processing = 3, inserting = 4 };

constexpr std::string_view phase_name(Phase phase) {
  switch (phase) {
    case Phase::idle:
      return "idle";
    case Phase::starting:
      return "starting";
    case Phase::listening:
      return "listening";
    case Phase::processing:
      return "processing";
    case Phase::inserting:
      return "inserting";
  }
  return "idle";
}

}  // namespace kesu
