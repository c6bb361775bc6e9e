#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "engine/engine.h"

namespace kesu {

struct SlotResult {
  EngineResult recognition;
  double wait_ms = 0;  // time spent waiting for the engine lock
};

// The current engine behind the one engine lock that every recognising thread shares; a switch
// replaces the engine under the same lock, so it never happens in the middle of a segment.
class EngineSlot {
 public:
  explicit EngineSlot(std::shared_ptr<Engine> engine);

  SlotResult recognise(std::span<const float> samples);
  // Installs `engine` once the segment being recognised (if any) is done.
  void replace(std::shared_ptr<Engine> engine);
  // The current engine's name; does not wait for a running recognition.
  std::string name() const;

 private:
  std::mutex engine_mu_;            // the engine lock
  std::shared_ptr<Engine> engine_;  // guarded by engine_mu_
  mutable std::mutex name_mu_;
  std::string name_;  // guarded by name_mu_
};

}  // namespace kesu
