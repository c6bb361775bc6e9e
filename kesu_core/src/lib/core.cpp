#include "lib/core.h"

#include <chrono>

#include "config/config_file.h"
#include "engine/engine_factory.h"
#include "pipeline/worker.h"
#include "util/log.h"
#include "util/thread_name.h"

namespace kesu {

Core::Core(std::filesystem::path core_dir)
    : shared_(std::make_shared<SharedState>(core_dir, load_config(core_dir))),
      queue_(std::make_shared<CommandQueue>()) {
  const ConfigPtr config = shared_->config.snapshot();
  shared_->engine.replace(create_engine_or_stub(*config, ModelLoader::for_core(config->core_dir)));
  auto worker = std::make_unique<Worker>(shared_, queue_);
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
  return queue_->push(std::move(command)) ? PostResult::queued : PostResult::shutting_down;
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
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (shared_->segment_retry_running.load() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  shared_->events.clear_and_drain();
}

}  // namespace kesu
