#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

namespace kesu::shell {

// Generation counter and error-tip deadline shared by the event handling and the overlay.
struct OverlayTiming {
  using Clock = std::chrono::steady_clock;

  // Bumped by every phase change that reaches the overlay; a delayed hide acts only when the
  // counter still has the value it saw.
  std::atomic<std::uint64_t> generation{0};

  void set_tip_deadline(Clock::time_point when) {
    std::lock_guard lock(mu_);
    deadline_ = when;
  }
  void clear_tip_deadline() {
    std::lock_guard lock(mu_);
    deadline_.reset();
  }
  // Clears the deadline only while it is still the one a tip set.
  void clear_tip_deadline_if(Clock::time_point when) {
    std::lock_guard lock(mu_);
    if (deadline_ == when) deadline_.reset();
  }
  bool tip_active(Clock::time_point now) const {
    std::lock_guard lock(mu_);
    return deadline_ && *deadline_ > now;
  }

 private:
  mutable std::mutex mu_;
  std::optional<Clock::time_point> deadline_;  // guarded by mu_
};

OverlayTiming& overlay_timing();

}  // namespace kesu::shell
