#include "audio/capture_sim.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "audio/wav.h"
#include "util/thread_name.h"

namespace kesu {

namespace {

using Clock = std::chrono::steady_clock;

class SimulatedCapture final : public Capture {
 public:
  SimulatedCapture(std::vector<float> samples, double speed)
      : samples_(std::move(samples)), speed_(speed), started_(Clock::now()) {
    feeder_ = std::thread([this] { feed(); });
  }
  ~SimulatedCapture() override { stop(); }

  const std::string& device_name() const override { return name_; }
  SampleBuffer& buffer() override { return buffer_; }
  bool healthy() override { return true; }
  std::optional<Error> failure() const override { return std::nullopt; }

  void stop() override {
    {
      std::lock_guard lock(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
    if (feeder_.joinable()) feeder_.join();
  }

 private:
  void feed() {
    name_this_thread("kesu-sim-mic");
    std::size_t fed = 0;
    std::unique_lock lock(mu_);
    while (!stopping_ && fed < samples_.size()) {
      const std::size_t due = simulated_samples_due(Clock::now() - started_, speed_, samples_.size());
      if (due > fed) {
        buffer_.append(samples_.data() + fed, due - fed);
        fed = due;
      }
      cv_.wait_for(lock, std::chrono::milliseconds(10), [&] { return stopping_; });
    }
  }

  const std::string name_ = "模拟麦克风（KESU_MIC_WAV）";
  const std::vector<float> samples_;
  const double speed_;
  const Clock::time_point started_;
  SampleBuffer buffer_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;  // guarded by mu_
  std::thread feeder_;
};

class ForcedFailureCapture final : public Capture {
 public:
  ForcedFailureCapture(std::unique_ptr<Capture> inner, std::chrono::milliseconds after)
      : inner_(std::move(inner)), fail_at_(Clock::now() + after) {}

  const std::string& device_name() const override { return inner_->device_name(); }
  SampleBuffer& buffer() override { return inner_->buffer(); }
  bool healthy() override {
    if (Clock::now() >= fail_at_) {
      if (!failed_) inner_->stop();  // an unplugged device delivers nothing more
      failed_ = true;
      return false;
    }
    return inner_->healthy();
  }
  std::optional<Error> failure() const override {
    if (failed_) return Error{ErrorCode::mic_unplug_simulated, {}};
    return inner_->failure();
  }
  void stop() override { inner_->stop(); }

 private:
  std::unique_ptr<Capture> inner_;
  const Clock::time_point fail_at_;
  bool failed_ = false;  // worker only
};

}  // namespace

std::size_t simulated_samples_due(std::chrono::nanoseconds elapsed, double speed,
                                  std::size_t total) {
  if (elapsed.count() <= 0) return 0;
  const double due = std::chrono::duration<double>(elapsed).count() * speed * kSampleRate;
  return due >= static_cast<double>(total) ? total : static_cast<std::size_t>(due);
}

double simulation_speed_from_env() {
  const char* text = std::getenv("KESU_SIM_SPEED");
  if (text == nullptr) return 1.0;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value > 0.1) || value > 1000) return 1.0;
  return value;
}

std::unique_ptr<Capture> make_simulated_capture(std::vector<float> samples, double speed) {
  return std::make_unique<SimulatedCapture>(std::move(samples), speed);
}

std::unique_ptr<Capture> with_forced_failure(std::unique_ptr<Capture> inner,
                                             std::chrono::milliseconds fail_after) {
  return std::make_unique<ForcedFailureCapture>(std::move(inner), fail_after);
}

}  // namespace kesu
