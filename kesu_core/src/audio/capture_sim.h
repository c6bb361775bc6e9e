#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

#include "audio/capture.h"

namespace kesu {

// How many samples of a simulated recording are due after `elapsed` at `speed` × real time.
std::size_t simulated_samples_due(std::chrono::nanoseconds elapsed, double speed,
                                  std::size_t total);

// KESU_SIM_SPEED when it parses as a number above 0.1, else 1.
double simulation_speed_from_env();

// Feeds `samples` into its buffer at real-time pace (times `speed`), as a microphone would.
std::unique_ptr<Capture> make_simulated_capture(std::vector<float> samples, double speed);

// Reports the device lost `fail_after` after it started (KESU_FORCE_MIC_FAIL_MS).
std::unique_ptr<Capture> with_forced_failure(std::unique_ptr<Capture> inner,
                                             std::chrono::milliseconds fail_after);

}  // namespace kesu
