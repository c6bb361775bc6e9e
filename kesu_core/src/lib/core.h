#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "pipeline/shared_state.h"
#include "models/model_pull.h"
#include "pipeline/command_queue.h"
#include "pipeline/worker.h"

namespace kesu {

// queue_full: the host has sent more commands than the worker has caught up with.
enum class PostResult { queued, queue_full, shutting_down };

// What a test may replace; the product uses the defaults.
struct CoreOptions {
  WorkerTimings timings;
  std::shared_ptr<SpeechBackend> speech;  // null: the configured engines
  HttpTransport polish_transport;         // empty: the platform's HTTP client
};

// The core behind one handle: shared state, the worker's queue and its thread. Destroying it (or
// calling shutdown) stops the worker; no event reaches the host afterwards.
class Core {
 public:
  // Throws when the worker thread cannot be started.
  explicit Core(std::filesystem::path core_dir, CoreOptions options = {});
  ~Core();
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  SharedState& shared() { return *shared_; }
  ModelPuller& models() { return *models_; }
  bool exiting() const { return shared_->exiting.load(); }

  // Queues a command for the worker; refused once shutdown has begun or the worker has gone, and
  // while the queue is full.
  [[nodiscard]] PostResult post(Command command);
  // Like post, but ignores the exiting flag: used where the interface promises to accept.
  [[nodiscard]] PostResult post_even_when_exiting(Command command);

  // Idempotent. Sets the exiting flag, stops and joins the worker and a running model download
  // (which ends with "已取消"), waits (up to 5 s) for a running segment retry, then clears the
  // callback and waits for deliveries still under way.
  void shutdown();

 private:
  std::shared_ptr<SharedState> shared_;
  std::shared_ptr<CommandQueue> queue_;
  std::unique_ptr<ModelPuller> models_;
  std::mutex worker_mu_;
  std::thread worker_;  // guarded by worker_mu_
};

}  // namespace kesu
