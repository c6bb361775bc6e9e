#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "audio/capture.h"
#include "audio/meter.h"
#include "lib/shared_state.h"
#include "pipeline/command_queue.h"
#include "pipeline/pending_files.h"
#include "pipeline/phase.h"
#include "pipeline/task_tracker.h"

namespace kesu {

// The dictation worker. It runs on its own thread, owns all dictation state, reads the command
// queue and reports everything it does as events. Nothing here is touched by other threads.
class Worker {
 public:
  Worker(std::shared_ptr<SharedState> shared, std::shared_ptr<CommandQueue> queue);
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // The thread body: returns on Shutdown or when the queue closes, and closes the queue on the
  // way out so that later posts fail instead of piling up.
  void run();

 private:
  struct PendingSubmit {
    std::string task_id;
    std::string text;
  };

  void start_up();
  void handle(Command& command);
  void run_periodic_duties();

  void on(cmd::Cancel&);
  void on(cmd::SubmitResult& submit);
  void on(cmd::DebugSubmitText& debug);
  void on(cmd::ConfigChanged& change);
  void on(cmd::HotwordsChanged& change);
  void on(cmd::NoteForegroundApp& note);
  void on(cmd::MeterStart&);
  void on(cmd::MeterStop&);
  void on(cmd::SetEngine& request);
  void on(cmd::EngineBuilt& built);
  void on(cmd::DebugPanic&);
  void on(cmd::Shutdown&);

  std::string begin_dictation();
  void finalise(std::string task_id, std::string text);
  void back_to_idle();
  void save_engine_choice(const std::string& name);
  void join_engine_builder();

  void run_meter_mode();
  void close_meter();
  void set_phase(Phase phase);
  void emit(std::string_view type, nlohmann::json payload);
  void emit_error(std::string_view code, std::string_view message);
  bool keep_pending_file(const ConfigRecord& config) const;

  std::shared_ptr<SharedState> shared_;
  std::shared_ptr<CommandQueue> queue_;
  PendingFiles pending_files_;

  bool stop_ = false;
  Phase phase_ = Phase::idle;
  std::uint64_t seq_ = 0;
  std::uint64_t session_ = 0;
  std::uint64_t generation_ = 0;
  std::uint64_t task_counter_ = 0;
  TaskTracker tracker_;
  std::optional<PendingSubmit> pending_submit_;
  std::string foreground_app_;
  std::unique_ptr<Capture> meter_capture_;  // open only in meter mode
  MeterPacer meter_pacer_;
  std::thread engine_builder_;  // kesu-engine while a switch is being built
  std::string engine_before_switch_;
};

}  // namespace kesu
