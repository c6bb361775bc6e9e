#pragma once

// Accepting a model download and running it on the "kesu-model-pull" thread, which reports
// through core-level events: model_progress, then exactly one of model_done / model_failed.

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "config/config_store.h"
#include "events/event_sink.h"
#include "models/self_test.h"

namespace kesu {

// What a download needs from the core, and no more. The pointers keep what they point to alive
// for as long as a download thread runs.
struct ModelPullInputs {
  std::filesystem::path core_dir;
  std::shared_ptr<const ConfigStore> config;
  std::shared_ptr<EventSink> events;
  std::shared_ptr<const std::atomic<bool>> exiting;  // the core's shutdown flag
};

// The id of the model being downloaded, if any. One download at a time.
class DownloadSlot {
 public:
  [[nodiscard]] bool try_take(std::string_view id);
  void clear();
  bool busy() const;

 private:
  mutable std::mutex mu_;
  std::string id_;  // guarded by mu_; empty when free
};

class ModelPuller {
 public:
  ModelPuller(ModelPullInputs core, ModelSelfTest self_test);
  ~ModelPuller();
  ModelPuller(const ModelPuller&) = delete;
  ModelPuller& operator=(const ModelPuller&) = delete;

  enum class Answer { accepted, unknown, busy, installed, shutting_down, no_thread };
  struct PullResult {
    Answer answer;
    std::string message;  // for the user, empty when accepted
  };

  // Runs on the caller's thread and returns at once.
  PullResult pull(std::string_view id);

  // Waits for a running download to end; the core's shutdown flag, already set, makes it stop
  // within one poll. Later pulls are refused.
  void shutdown();

 private:
  ModelPullInputs core_;
  ModelSelfTest self_test_;
  std::shared_ptr<DownloadSlot> slot_ = std::make_shared<DownloadSlot>();
  std::mutex thread_mu_;
  std::thread thread_;   // guarded by thread_mu_
  bool closed_ = false;  // guarded by thread_mu_
};

}  // namespace kesu
