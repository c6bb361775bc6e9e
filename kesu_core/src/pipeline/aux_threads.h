#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace kesu {

// The worker's helper threads (background pieces, final decode, segment retries). They run
// detached, because a recogniser stuck inside a model must not be able to hang the core's
// shutdown; the worker waits a bounded time for them instead. Each job owns copies of what it
// needs and hands its result back through the command queue.
class AuxThreads {
 public:
  AuxThreads() : state_(std::make_shared<State>()) {}

  // Starts `job` on a new thread named `name`; false when no thread could be started.
  [[nodiscard]] bool spawn(const char* name, std::function<void()> job);

  // Waits until every job has ended or `limit` has passed; true when none is left.
  bool wait_all(std::chrono::milliseconds limit);

 private:
  struct State {
    std::mutex mu;
    std::condition_variable cv;
    int running = 0;  // guarded by mu
  };
  std::shared_ptr<State> state_;
};

}  // namespace kesu
