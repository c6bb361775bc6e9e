#include "pipeline/task_tracker.h"

#include <algorithm>

namespace kesu {

void TaskTracker::enter(std::string task_id, TaskStage stage, SteadyClock::time_point now) {
  task_id_ = std::move(task_id);
  stage_ = stage;
  since_ = now;
}

void TaskTracker::finish() {
  stage_ = TaskStage::none;
  task_id_.clear();
}

std::optional<SteadyClock::time_point> TaskTracker::deadline() const {
  switch (stage_) {
    case TaskStage::decoding:
      return since_ + decode_limit_;
    case TaskStage::awaiting_submit:
      return since_ + submit_limit_;
    case TaskStage::none:
    case TaskStage::recording:
      break;
  }
  return std::nullopt;
}

bool TaskTracker::expired(SteadyClock::time_point now) const {
  const auto limit = deadline();
  return limit && now >= *limit;
}

std::chrono::milliseconds worker_wait(SteadyClock::time_point now,
                                      std::optional<SteadyClock::time_point> nearest_deadline) {
  constexpr std::chrono::milliseconds kIdleWait{15};
  if (!nearest_deadline) return kIdleWait;
  if (*nearest_deadline <= now) return std::chrono::milliseconds{1};
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*nearest_deadline - now);
  return std::min(kIdleWait, left);
}

}  // namespace kesu
