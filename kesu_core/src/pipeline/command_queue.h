#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "pipeline/commands.h"

namespace kesu {

enum class Pushed { queued, full, closed };

// Multi-producer queue with a single consumer, the worker. Commands from the host are bounded
// (a host that posts faster than the worker works gets a refusal instead of growing memory and
// a shutdown that must wade through the backlog); see queue_room for what is never refused.
// Once closed (the worker has gone) every push fails, which the exports report as "shutting
// down".
class CommandQueue {
 public:
  // Far more than a person at a keyboard can queue while the worker opens a device or saves a
  // file; reached only by a runaway host.
  static constexpr std::size_t kDefaultCapacity = 256;

  explicit CommandQueue(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  [[nodiscard]] Pushed push(Command command);
  // Waits up to `timeout` for a command. nullopt on time-out; `closed` tells the two apart.
  std::optional<Command> pop_for(std::chrono::milliseconds timeout);
  // Waits up to `timeout` for a command that satisfies `wanted` and takes it out, leaving every
  // other command queued in order (the worker waiting for one particular answer).
  std::optional<Command> pop_matching(const std::function<bool(const Command&)>& wanted,
                                      std::chrono::milliseconds timeout);
  // Closes the queue and hands back what was still waiting, in order.
  std::deque<Command> close_and_take();
  void close();
  bool closed() const;
  std::size_t size() const;

 private:
  Command take(std::deque<Command>::iterator at);  // caller holds mu_

  const std::size_t capacity_;
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Command> items_;  // guarded by mu_
  std::size_t bounded_ = 0;    // guarded by mu_: items that count against capacity_
  bool closed_ = false;        // guarded by mu_
};

}  // namespace kesu
