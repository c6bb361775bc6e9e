#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/config_record.h"
#include "util/error.h"

namespace kesu {

// 16 kHz mono samples appended by the audio thread and read by the worker.
class SampleBuffer {
 public:
  void append(const float* samples, std::size_t n) {
    std::lock_guard lock(mu_);
    samples_.insert(samples_.end(), samples, samples + n);
  }
  std::size_t size() const {
    std::lock_guard lock(mu_);
    return samples_.size();
  }
  // Copies samples [from, end).
  std::vector<float> copy_from(std::size_t from) const {
    std::lock_guard lock(mu_);
    if (from >= samples_.size()) return {};
    return std::vector<float>(samples_.begin() + static_cast<std::ptrdiff_t>(from), samples_.end());
  }
  // The last `n` samples (fewer when not recorded yet).
  std::vector<float> tail(std::size_t n) const {
    std::lock_guard lock(mu_);
    const std::size_t from = samples_.size() > n ? samples_.size() - n : 0;
    return std::vector<float>(samples_.begin() + static_cast<std::ptrdiff_t>(from), samples_.end());
  }
  // Keeps only the newest `n` samples (the level meter needs no more).
  void keep_tail(std::size_t n) {
    std::lock_guard lock(mu_);
    if (samples_.size() > n) samples_.erase(samples_.begin(), samples_.end() - static_cast<std::ptrdiff_t>(n));
  }
  std::vector<float> take_all() {
    std::lock_guard lock(mu_);
    return std::move(samples_);
  }

 private:
  mutable std::mutex mu_;
  std::vector<float> samples_;  // guarded by mu_
};

// Processing applied to captured 16 kHz audio before it is stored (the denoiser).
class AudioFilter {
 public:
  virtual ~AudioFilter() = default;
  virtual std::vector<float> process(std::vector<float> samples) = 0;
  virtual std::vector<float> flush() = 0;
};

// An open capture. The samples arrive in `buffer()` from another thread until stop(); a lost
// device clears healthy() and keeps what was recorded. Destroying it stops it.
class Capture {
 public:
  virtual ~Capture() = default;
  virtual const std::string& device_name() const = 0;
  virtual SampleBuffer& buffer() = 0;
  // False once the device failed or disappeared; `failure()` says why.
  virtual bool healthy() = 0;
  virtual std::optional<Error> failure() const = 0;
  // True when the loss was simulated (KESU_FORCE_MIC_FAIL_MS).
  bool failure_simulated() const {
    const std::optional<Error> why = failure();
    return why && why->code == ErrorCode::mic_unplug_simulated;
  }
  // Stops delivery; never blocks on a stalled device. Safe to call twice.
  virtual void stop() = 0;
};

struct CaptureOpen {
  std::unique_ptr<Capture> capture;
  std::optional<Error> error;  // why capture is empty (mic_device_missing: not connected)
};

// Opens the configured input: the simulated microphone when KESU_MIC_WAV is set, else the
// device named by audio.device (empty: the system default).
CaptureOpen open_capture(const ConfigRecord& config);

// JSON text of the input devices: {"default":…,"devices":[…],"selected":…}.
std::string list_input_devices_json(const ConfigRecord& config);

}  // namespace kesu
