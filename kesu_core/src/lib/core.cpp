#include "lib/core.h"

#include <chrono>

#include "config/config_file.h"
#include "engine/engine_factory.h"
#include "engine/self_check.h"
#include "pipeline/engine_speech_backend.h"
#include "util/paths.h"
#include "pipeline/worker.h"
#include "util/log.h"
#include "util/thread_name.h"

namespace kesu {
namespace {

// After a download: the model must load, checked the way the engines will load it.
ModelSelfTest engine_self_test(const std::filesystem::path& core_dir) {
  return [core_dir](const CatalogRow& row, const std::filesystem::path& model_dir) {
    return self_check_model(row.id, model_dir / path_from_utf8(row.marker).filename(), core_dir);
  };
}

// The download thread's narrow view of the shared state; each pointer shares its owner.
ModelPullInputs model_pull_inputs(const std::shared_ptr<SharedState>& shared) {
  return {shared->core_dir, {shared, &shared->config}, {shared, &shared->events}, {shared, &shared->exiting}};
}

}  // namespace

Core::Core(std::filesystem::path core_dir, CoreOptions options)
    : shared_(std::make_shared<SharedState>(core_dir, load_config(core_dir))),
      queue_(std::make_shared<CommandQueue>()),
      // A fresh install must load before it counts as installed.
      models_(std::make_unique<ModelPuller>(model_pull_inputs(shared_), engine_self_test(core_dir))) {
  const ConfigPtr config = shared_->config.snapshot();
  shared_->engine.replace(create_engine_or_stub(*config, ModelLoader::for_core(config->core_dir)));
  shared_->speech = options.speech ? std::move(options.speech) : make_engine_speech_backend(shared_);
  auto worker = std::make_unique<Worker>(shared_, queue_, options.timings,
                                         std::move(options.polish_transport));
  worker_ = std::thread([w = std::move(worker)] {
    name_this_thread("kesu-worker");
    try {
      w->run();
    } catch (const std::exception& e) {
      log_line(std::string("worker 线程异常退出：") + e.what());
    } catch (...) {
      log_line("worker 线程异常退出");
    }
  });
}

Core::~Core() { shutdown(); }

PostResult Core::post(Command command) {
  if (exiting()) return PostResult::shutting_down;
  return post_even_when_exiting(std::move(command));
}

PostResult Core::post_even_when_exiting(Command command) {
  switch (queue_->push(std::move(command))) {
    case Pushed::queued:
      return PostResult::queued;
    case Pushed::full:
      return PostResult::queue_full;
    case Pushed::closed:
      break;
  }
  return PostResult::shutting_down;
}

void Core::shutdown() {
  shared_->exiting.store(true);
  std::thread worker;
  {
    std::lock_guard lock(worker_mu_);
    worker = std::move(worker_);
  }
  if (worker.joinable()) {
    (void)queue_->push(cmd::Shutdown{});
    if (worker.get_id() == std::this_thread::get_id()) {
      worker.detach();  // the last reference went away on the worker itself
    } else {
      worker.join();
    }
  }
  shared_->lan.stop();
  models_->shutdown();
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (shared_->segment_retry_running.load() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  shared_->events.clear_and_drain();
}

}  // namespace kesu
