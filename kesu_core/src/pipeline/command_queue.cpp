#include "pipeline/command_queue.h"

#include <algorithm>

#include "pipeline/command_rules.h"

namespace kesu {
namespace {

// Changes from racing setters can be posted out of order: the newer record wins.
bool supersedes(const Command& incoming, const Command& waiting) {
  const auto* in = std::get_if<cmd::ConfigChanged>(&incoming);
  const auto* old = std::get_if<cmd::ConfigChanged>(&waiting);
  return in == nullptr || old == nullptr || in->generation >= old->generation;
}

}  // namespace

Pushed CommandQueue::push(Command command) {
  {
    std::lock_guard lock(mu_);
    if (closed_) return Pushed::closed;
    switch (queue_room(command)) {
      case QueueRoom::bounded:
        if (bounded_ >= capacity_) return Pushed::full;
        ++bounded_;
        items_.push_back(std::move(command));
        break;
      case QueueRoom::coalesced: {
        const auto same = std::find_if(items_.begin(), items_.end(), [&](const Command& c) {
          return c.index() == command.index();
        });
        if (same == items_.end()) {
          items_.push_back(std::move(command));
        } else if (supersedes(command, *same)) {
          *same = std::move(command);
        }
        break;
      }
      case QueueRoom::always:
        // Shutdown goes ahead of everything: the worker sorts out what waits behind it.
        if (std::holds_alternative<cmd::Shutdown>(command)) {
          items_.push_front(std::move(command));
        } else {
          items_.push_back(std::move(command));
        }
        break;
    }
  }
  cv_.notify_one();
  return Pushed::queued;
}

Command CommandQueue::take(std::deque<Command>::iterator at) {
  Command command = std::move(*at);
  items_.erase(at);
  if (queue_room(command) == QueueRoom::bounded) --bounded_;
  return command;
}

std::optional<Command> CommandQueue::pop_for(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  cv_.wait_for(lock, timeout, [&] { return !items_.empty() || closed_; });
  if (items_.empty()) return std::nullopt;
  return take(items_.begin());
}

std::optional<Command> CommandQueue::pop_matching(
    const std::function<bool(const Command&)>& wanted, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  std::optional<Command> found;
  cv_.wait_for(lock, timeout, [&] {
    const auto it = std::find_if(items_.begin(), items_.end(), wanted);
    if (it != items_.end()) {
      found = take(it);
      return true;
    }
    return closed_;
  });
  return found;
}

std::deque<Command> CommandQueue::close_and_take() {
  std::deque<Command> left;
  {
    std::lock_guard lock(mu_);
    closed_ = true;
    left.swap(items_);
    bounded_ = 0;
  }
  cv_.notify_all();
  return left;
}

void CommandQueue::close() { (void)close_and_take(); }

bool CommandQueue::closed() const {
  std::lock_guard lock(mu_);
  return closed_;
}

std::size_t CommandQueue::size() const {
  std::lock_guard lock(mu_);
  return items_.size();
}

}  // namespace kesu
