#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "pipeline/commands.h"

namespace kesu {

// Multi-producer queue with a single consumer, the worker. Once closed (the worker has gone)
// every push fails, which the exports report as "shutting down".
class CommandQueue {
 public:
  [[nodiscard]] bool push(Command command);
  // Waits up to `timeout` for a command. nullopt on time-out; `closed` tells the two apart.
  std::optional<Command> pop_for(std::chrono::milliseconds timeout);
  // Waits up to `timeout` for a command that satisfies `wanted` and takes it out, leaving every
  // other command queued in order (the worker waiting for one particular answer).
  std::optional<Command> pop_matching(const std::function<bool(const Command&)>& wanted,
                                      std::chrono::milliseconds timeout);
  void close();
  bool closed() const;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Command> items_;  // guarded by mu_
  bool closed_ = false;        // guarded by mu_
};

}  // namespace kesu
