#include "pipeline/command_queue.h"

namespace kesu {

bool CommandQueue::push(Command command) {
  {
    std::lock_guard lock(mu_);
    if (closed_) return false;
    items_.push_back(std::move(command));
  }
  cv_.notify_one();
  return true;
}

std::optional<Command> CommandQueue::pop_for(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  cv_.wait_for(lock, timeout, [&] { return !items_.empty() || closed_; });
  if (items_.empty()) return std::nullopt;
  Command command = std::move(items_.front());
  items_.pop_front();
  return command;
}

std::optional<Command> CommandQueue::pop_matching(
    const std::function<bool(const Command&)>& wanted, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  std::optional<Command> found;
  cv_.wait_for(lock, timeout, [&] {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (wanted(*it)) {
        found = std::move(*it);
        items_.erase(it);
        return true;
      }
    }
    return closed_;
  });
  return found;
}

void CommandQueue::close() {
  {
    std::lock_guard lock(mu_);
    closed_ = true;
    items_.clear();
  }
  cv_.notify_all();
}

bool CommandQueue::closed() const {
  std::lock_guard lock(mu_);
  return closed_;
}

}  // namespace kesu
