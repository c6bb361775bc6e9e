#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kesu {

using SteadyClock = std::chrono::steady_clock;

enum class TaskStage { none, recording, decoding, awaiting_submit };

// How long each stage of a task may last before the worker gives up on it.
inline constexpr std::chrono::seconds kDecodeStallLimit{60};
inline constexpr std::chrono::seconds kSubmitAnswerLimit{6};

// Follows the current task through its stages. Pure bookkeeping: the worker asks it what has
// expired and performs the consequences itself.
class TaskTracker {
 public:
  TaskTracker(std::chrono::milliseconds decode_limit = kDecodeStallLimit,
              std::chrono::milliseconds submit_limit = kSubmitAnswerLimit)
      : decode_limit_(decode_limit), submit_limit_(submit_limit) {}

  void enter(std::string task_id, TaskStage stage, SteadyClock::time_point now);
  void finish();

  TaskStage stage() const { return stage_; }
  const std::string& task_id() const { return task_id_; }
  // When the current stage runs out; nullopt for stages without a limit.
  std::optional<SteadyClock::time_point> deadline() const;
  bool expired(SteadyClock::time_point now) const;

 private:
  std::chrono::milliseconds decode_limit_;
  std::chrono::milliseconds submit_limit_;
  TaskStage stage_ = TaskStage::none;
  std::string task_id_;
  SteadyClock::time_point since_{};
};

// How long the worker may wait for the next command: 15 ms, less when a deadline comes sooner,
// 1 ms once it has passed.
std::chrono::milliseconds worker_wait(SteadyClock::time_point now,
                                      std::optional<SteadyClock::time_point> nearest_deadline);

}  // namespace kesu
