#include "pipeline/worker.h"

#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "config/config_file.h"
#include "config/config_toml.h"
#include "engine/engine_factory.h"
#include "config/model_files.h"
#include "pipeline/command_rules.h"
#include "events/envelope.h"
#include "pipeline/lan_core_access.h"
#include "util/log.h"
#include "util/thread_name.h"
#include "util/utf8.h"

namespace kesu {
namespace {

constexpr std::string_view kPanicMessage = "核心内部错误，请重启 Kesu（详情见控制台日志）";
constexpr std::string_view kUnpluggedMessage =
    "麦克风中断了（可能被拔掉或被其他应用占用）：已保留中断前录到的内容";
constexpr std::string_view kUnpluggedSimulatedMessage =
    "麦克风中断了（模拟拔掉）：已保留中断前录到的内容";

}  // namespace

Worker::Worker(std::shared_ptr<SharedState> shared, std::shared_ptr<CommandQueue> queue,
               WorkerTimings timings, HttpTransport polish_transport)
    : shared_(std::move(shared)),
      queue_(std::move(queue)),
      timings_(timings),
      polish_transport_(polish_transport ? std::move(polish_transport) : default_transport()),
      pending_files_(shared_->core_dir),
      tracker_(timings.decode_stall, timings.submit_answer) {}

Worker::~Worker() {
  join_engine_builder();
  if (warm_up_.joinable()) warm_up_.join();
}

void Worker::run() {
  struct CloseOnExit {
    CommandQueue& queue;
    ~CloseOnExit() { queue.close(); }
  } closer{*queue_};

  try {
    start_up();
  } catch (const std::exception& e) {
    log_line(std::string("启动时出错：") + e.what());
  }
  while (!stop_) {
    std::optional<Command> command =
        queue_->pop_for(worker_wait(SteadyClock::now(), tracker_.deadline()));
    if (command) {
      handle(*command);
    } else if (queue_->closed()) {
      break;
    }
    if (stop_) break;
    try {
      run_periodic_duties();
    } catch (const std::exception& e) {
      log_line(std::string("worker panic: ") + e.what());
      emit_error("worker_panic", kPanicMessage);
      back_to_idle();
    }
  }
}

void Worker::start_up() {
  pending_files_.remove_expired();
  if (std::optional<std::string> text = pending_files_.read_last_result()) {
    shared_->last_result.set(*text);
    emit("pending_result", {{"text", *text}, {"chars", utf8_char_count(*text)}});
  }
  apply_lan_settings(shared_->config.snapshot());
  // Off the worker: the first dictation should find everything built and run once already.
  try {
    warm_up_ = std::thread([speech = shared_->speech, config = shared_->config.snapshot()] {
      name_this_thread("kesu-warmup");
      try {
        speech->warm_up(*config);
      } catch (...) {
        log_line("预热出错：第一次听写会慢一些");
      }
    });
  } catch (const std::system_error&) {
    log_line("预热线程起不来：第一次听写会慢一些");
  }
}

void Worker::apply_lan_settings(ConfigPtr config) {
  const std::optional<lan::StartReport> report = shared_->lan.apply(std::move(config), lan_core_access(shared_));
  if (!report) return;
  if (report->error) {
    emit_error(error_code_name(report->error->code), user_message(*report->error));
  } else if (report->listening) {
    emit_notice("lan_listening", report->message);
  }
}

void Worker::handle(Command& command) {
  // A failure inside one command must not take the worker down: report it and keep serving.
  try {
    std::visit([this](auto& c) { on(c); }, command);
  } catch (const std::exception& e) {
    log_line(std::string("worker panic: ") + e.what());
    emit_error("worker_panic", kPanicMessage);
    back_to_idle();
  } catch (...) {
    log_line("worker panic: unknown failure");
    emit_error("worker_panic", kPanicMessage);
    back_to_idle();
  }
}

void Worker::run_periodic_duties() {
  run_meter_mode();
  run_recording_duties();
  check_task_deadlines();
}

void Worker::check_task_deadlines() {
  if (!tracker_.expired(SteadyClock::now())) return;
  const std::string task_id = tracker_.task_id();
  switch (tracker_.stage()) {
    case TaskStage::decoding:
      emit_error("decode_stalled", "识别超时（任务 " + task_id + "），音频已保留，可重试");
      // The stalled recording stays available for a retry.
      if (current_) failed_audio_ = std::move(current_->audio);
      break;
    case TaskStage::awaiting_submit:
      emit_error("submit_timeout",
                 "上屏结果未知（任务 " + task_id + "），文字已保存，可从菜单复制");
      break;
    case TaskStage::none:
    case TaskStage::recording:
      break;
  }
  back_to_idle();
}

void Worker::on(cmd::Cancel&) {
  if (phase_ == Phase::inserting) {
    emit_error("cancel_rejected", "文字已在粘贴中，无法取消");
    return;
  }
  // The cancelled dictation's decode answers nobody: the user may start the next one now. A
  // decode that stalled earlier is not forgotten: its recogniser may still hold the engine.
  if (phase_ == Phase::processing) decoding_.reset();
  back_to_idle();
}

Activity Worker::activity() const {
  return Activity{phase_, decoding_.has_value(), shared_->segment_retry_running.load(),
                  shared_->capture_slot.holder() == CaptureUser::enrolment, meter_capture_ != nullptr};
}

bool Worker::admitted(Request request) {
  const Admission admission = admit(request, activity());
  if (admission.verdict == Verdict::refuse) emit_error(admission.code, admission.message);
  return admission.verdict == Verdict::accept;
}

void Worker::on(cmd::ConfigChanged& change) {
  // Changes from racing setters can arrive out of order; a newer one already saved wins.
  if (change.generation < shared_->config.saved_generation()) return;
  if (Status saved = save_config(*change.record); !saved)
    emit_error("config_save_failed", "保存配置失败：" + user_message(saved.error()));
  shared_->config.mark_saved(change.generation);
  if (stop_) return;  // shutting down: the file is what matters
  // Hand edits of hotwords.toml take effect with a configuration change; the history is
  // reopened when it was switched on or off.
  shared_->hotwords.reload(hotwords_path(change.record->core_dir));
  shared_->history.apply_settings(change.record->history_enabled, change.record->history_limit);
  emit("config_changed",
       {{"engine", change.record->engine_active}, {"toml", render_config_toml(*change.record)}});
  apply_lan_settings(change.record);
}

void Worker::on(cmd::HotwordsChanged& change) {
  emit("hotwords_changed", {{"count", change.count}});
}

void Worker::on(cmd::NoteForegroundApp& note) { foreground_app_ = std::move(note.app); }

void Worker::on(cmd::MeterStart&) {
  if (!admitted(Request::meter_start)) return;  // one capture at a time
  CaptureOpen opened = open_capture(*shared_->config.snapshot());
  if (!opened.capture) {
    emit_mic_unavailable(opened);
    return;
  }
  meter_capture_ = std::move(opened.capture);
  meter_pacer_.reset();
}

void Worker::on(cmd::MeterStop&) { close_meter(); }

void Worker::close_meter() {
  if (!meter_capture_) return;
  meter_capture_->stop();
  meter_capture_.reset();
}

void Worker::run_meter_mode() {
  if (!meter_capture_) return;
  // The meter is a preview: an enrolment that starts recording takes the microphone.
  if (shared_->capture_slot.holder() == CaptureUser::enrolment) {
    close_meter();
    return;
  }
  if (!meter_capture_->healthy()) {
    const bool simulated = meter_capture_->failure_simulated();
    close_meter();
    emit_error("mic_unplugged", simulated ? kUnpluggedSimulatedMessage : kUnpluggedMessage);
    return;
  }
  if (!meter_pacer_.due(SteadyClock::now())) return;
  SampleBuffer& buffer = meter_capture_->buffer();
  buffer.keep_tail(kMeterWindow);
  const MeterLevels levels = meter_levels(buffer.tail(kMeterWindow));
  if (std::getenv("KESU_DEBUG_METER") != nullptr) {
    log_line("rms=" + std::to_string(levels.rms) + " peak=" + std::to_string(levels.peak),
             "[meter]");
  }
  emit("meter", {{"rms", levels.rms}, {"peak", levels.peak}, {"silent", levels.silent}});
}

void Worker::on(cmd::SetEngine& request) {
  const std::string& name = request.name;
  if (name != "sense" && name != "qwen3" && name != "stub") {
    emit_error("bad_engine", "未知引擎：" + name);
    return;
  }
  const ConfigPtr config = shared_->config.snapshot();
  if (!model_installed(name, *config)) {
    emit_error("model_missing", model_missing_message(name));
    return;
  }
  if (engine_builder_.joinable()) {
    emit_error("engine_switch_failed", "切换引擎失败：上一次切换还没完成，稍后再试");
    return;
  }
  engine_before_switch_ = config->engine_active;
  save_engine_choice(name);
  ConfigRecord target = *shared_->config.snapshot();
  // Building a large model takes seconds: the worker keeps serving meanwhile.
  engine_builder_ = std::thread([queue = queue_, target = std::move(target), name] {
    name_this_thread("kesu-engine");
    cmd::EngineBuilt built{name, nullptr, {}};
    try {
      EngineCreation created = create_engine(name, target, ModelLoader::for_core(target.core_dir));
      if (created) {
        warm_up_engine(**created);
        built.engine = std::move(*created);
      } else {
        built.error = created.error();
      }
    } catch (const std::exception& e) {
      built.error = Error{ErrorCode::other, e.what()};
    }
    (void)queue->push(std::move(built));  // refused only when the core is shutting down
  });
}

void Worker::on(cmd::EngineBuilt& built) {
  join_engine_builder();
  if (!built.engine) {
    emit_error("engine_switch_failed",
               "切换引擎失败：" + (built.error ? user_message(*built.error) : std::string()));
    // The old engine stays, so the setting goes back to it too, unless changed meanwhile.
    if (shared_->config.snapshot()->engine_active == built.name) {
      save_engine_choice(engine_before_switch_);
    }
    return;
  }
  shared_->engine.replace(std::move(built.engine));
  log_line("引擎已切换：" + built.name);
  const ConfigPtr config = shared_->config.snapshot();
  emit("config_changed", {{"engine", config->engine_active}, {"toml", render_config_toml(*config)}});
  emit_error("engine_ready", "已切换到 " + built.name + "，下次录音生效");
}

void Worker::save_engine_choice(const std::string& name) {
  const auto replaced = shared_->config.update([&](const ConfigRecord& current) -> ConfigPtr {
    if (current.engine_active == name) return nullptr;
    auto next = std::make_shared<ConfigRecord>(current);
    next->engine_active = name;
    return next;
  });
  if (!replaced.record) return;
  if (Status saved = save_config(*replaced.record); !saved) {
    emit_error("config_save_failed", "保存配置失败：" + user_message(saved.error()));
  }
  shared_->config.mark_saved(replaced.generation);
}

void Worker::join_engine_builder() {
  if (engine_builder_.joinable()) engine_builder_.join();
}

void Worker::on(cmd::DebugPanic&) { throw std::runtime_error("debug panic"); }

void Worker::on(cmd::Shutdown&) {
  stop_ = true;
  close_meter();
  stop_recording();
  // What still waits was posted before the exiting flag turned the exports away. Carrying it
  // all out could take minutes after a flood (every press opens a device): keep what protects
  // the user's data, drop the rest, and refuse everything from now on.
  for (Command& left : queue_->close_and_take()) {
    if (matters_at_shutdown(left)) handle(left);
  }
  join_engine_builder();
  if (warm_up_.joinable()) warm_up_.join();
  if (!helpers_.wait_all(timings_.helpers_at_exit)) log_line("识别线程未及时结束，不再等待");
}

void Worker::stop_recording() {
  if (recording_ && recording_->capture) recording_->capture->stop();
  recording_.reset();
}

void Worker::back_to_idle() {
  stop_recording();
  tracker_.finish();
  pending_submit_.clear();
  current_.reset();
  set_phase(Phase::idle);
}

bool Worker::keep_pending_file(const ConfigRecord& config) const {
  if (config.privacy_enabled) return false;
  if (shared_->test_mode.load()) return std::getenv("KESU_KEEP_PENDING") != nullptr;
  return true;
}

bool Worker::audio_stays_in_memory(const ConfigRecord& config) const {
  return config.privacy_enabled || shared_->test_mode.load();
}

void Worker::set_phase(Phase phase) {
  if (phase == phase_) return;
  phase_ = phase;
  emit("state", {{"phase", phase_name(phase)}});
}

void Worker::emit(std::string_view type, nlohmann::json payload) {
  ++seq_;
  shared_->events.deliver(
      make_envelope(type, std::move(payload), EventStamp{generation_, seq_, session_}));
}

void Worker::emit_error(std::string_view code, std::string_view message) {
  emit("error", {{"code", code}, {"message", message}});
}

void Worker::emit_mic_unavailable(const CaptureOpen& opened) {
  const bool device_missing = opened.error && opened.error->code == ErrorCode::mic_device_missing;
  emit("error", {{"code", "mic_unavailable"},
                 {"message", opened.error ? user_message(*opened.error) : std::string()},
                 {"device_missing", device_missing}});
}

void Worker::emit_notice(std::string_view code, std::string_view message) {
  emit("notice", {{"code", code}, {"message", message}});
}

}  // namespace kesu
