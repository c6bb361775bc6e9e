#include "pipeline/worker.h"

#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <type_traits>

#include "config/config_file.h"
#include "config/config_rules.h"
#include "config/config_toml.h"
#include "engine/engine_factory.h"
#include "engine/model_files.h"
#include "events/envelope.h"
#include "util/log.h"
#include "util/thread_name.h"
#include "util/utf8.h"

namespace kesu {
namespace {

constexpr std::string_view kPanicMessage = "核心内部错误，请重启 Kesu（详情见控制台日志）";
constexpr std::string_view kStaleSubmitMessage = "上屏回报与当前任务不匹配，已忽略";
constexpr std::string_view kSubmitFailedMessage = "无法自动粘贴，文字已保存，可从菜单复制";
constexpr std::string_view kCancelRejectedMessage = "文字已在粘贴中，无法取消";
constexpr std::string_view kBusyPreviousMessage = "正在处理上一次录音，稍后再试";
constexpr std::string_view kUnpluggedMessage =
    "麦克风中断了（可能被拔掉或被其他应用占用）：已保留中断前录到的内容";
constexpr std::string_view kUnpluggedSimulatedMessage =
    "麦克风中断了（模拟拔掉）：已保留中断前录到的内容";
constexpr std::string_view kUnclearMessage =
    "声音太小或不清楚：靠近麦克风再说一次，或检查是否选错了输入设备";

}  // namespace

Worker::Worker(std::shared_ptr<SharedState> shared, std::shared_ptr<CommandQueue> queue)
    : shared_(std::move(shared)), queue_(std::move(queue)), pending_files_(shared_->core_dir) {}

Worker::~Worker() { join_engine_builder(); }

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
  if (!tracker_.expired(SteadyClock::now())) return;
  const std::string task_id = tracker_.task_id();
  switch (tracker_.stage()) {
    case TaskStage::decoding:
      emit_error("decode_stalled", "识别超时（任务 " + task_id + "），音频已保留，可重试");
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
    emit_error("cancel_rejected", kCancelRejectedMessage);
    return;
  }
  back_to_idle();
}

void Worker::on(cmd::SubmitResult& submit) {
  if (!pending_submit_ || submit.task_id != pending_submit_->task_id) {
    emit_error("stale_submit", kStaleSubmitMessage);
    return;
  }
  if (submit.status == "ok") {
    pending_files_.delete_last_result();
  } else {
    const bool has_detail = submit.detail && !submit.detail->empty();
    emit_error("submit_" + submit.status, has_detail ? *submit.detail : kSubmitFailedMessage);
  }
  back_to_idle();
}

void Worker::on(cmd::DebugSubmitText& debug) {
  if (phase_ != Phase::idle) {
    emit_error("busy", kBusyPreviousMessage);
    return;
  }
  std::string task_id = begin_dictation();
  set_phase(Phase::processing);
  if (debug.text.empty()) {
    emit_error("empty_result", kUnclearMessage);
    back_to_idle();
    return;
  }
  finalise(std::move(task_id), std::move(debug.text));
}

void Worker::on(cmd::ConfigChanged& change) {
  // Changes from racing setters can arrive out of order; a newer one already saved wins.
  if (change.generation < shared_->config.saved_generation()) return;
  if (auto error = save_config(*change.record))
    emit_error("config_save_failed", "保存配置失败：" + *error);
  shared_->config.mark_saved(change.generation);
  // Hand edits of hotwords.toml take effect with a configuration change; the history is
  // reopened when it was switched on or off.
  shared_->hotwords.reload(hotwords_path(change.record->core_dir));
  shared_->history.apply_settings(change.record->history_enabled, change.record->history_limit);
  emit("config_changed",
       {{"engine", change.record->engine_active}, {"toml", render_config_toml(*change.record)}});
}

void Worker::on(cmd::HotwordsChanged& change) {
  emit("hotwords_changed", {{"count", change.count}});
}

void Worker::on(cmd::NoteForegroundApp& note) { foreground_app_ = std::move(note.app); }

void Worker::on(cmd::MeterStart&) {
  if (meter_capture_ || phase_ != Phase::idle) return;  // one capture at a time
  CaptureOpen opened = open_capture(*shared_->config.snapshot());
  if (!opened.capture) {
    emit_error("mic_unavailable", opened.error);
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
      built.engine = std::move(created.engine);
      built.error = std::move(created.error);
    } catch (const std::exception& e) {
      built.error = e.what();
    }
    (void)queue->push(std::move(built));  // refused only when the core is shutting down
  });
}

void Worker::on(cmd::EngineBuilt& built) {
  join_engine_builder();
  if (!built.engine) {
    emit_error("engine_switch_failed", "切换引擎失败：" + built.error);
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
  if (auto error = save_config(*replaced.record)) {
    emit_error("config_save_failed", "保存配置失败：" + *error);
  }
  shared_->config.mark_saved(replaced.generation);
}

void Worker::join_engine_builder() {
  if (engine_builder_.joinable()) engine_builder_.join();
}

void Worker::on(cmd::DebugPanic&) { throw std::runtime_error("debug panic"); }

void Worker::on(cmd::Shutdown&) {
  close_meter();
  join_engine_builder();
  stop_ = true;
}

std::string Worker::begin_dictation() {
  ++session_;
  ++generation_;
  ++task_counter_;
  return "t" + std::to_string(session_) + "-" + std::to_string(task_counter_);
}

void Worker::finalise(std::string task_id, std::string text) {
  const ConfigPtr config = shared_->config.snapshot();
  const std::string raw_text = text;
  // Stored before the event so a host reacting to "result" already reads the new text.
  shared_->last_result.set(text);
  emit("result", {{"task_id", task_id},
                  {"text", text},
                  {"raw_text", raw_text},
                  {"partial", false},
                  {"segments", nlohmann::json::array()},
                  {"history_id", ""},
                  {"speech_ms", 0},
                  {"decode_ms", 0},
                  {"latency_ms", 0},
                  {"wait_ms", 0},
                  {"engine_wait_ms", 0},
                  {"privacy", config->privacy_enabled}});
  if (keep_pending_file(*config)) {
    std::string error;
    if (!pending_files_.write_last_result(text, error)) log_line("暂存结果写入失败：" + error);
  }

  set_phase(Phase::inserting);
  emit("submit_request", {{"task_id", task_id},
                          {"text", text},
                          {"phase", phase_name(Phase::inserting)},
                          {"mode", insert_mode_for_app(*config, foreground_app_)},
                          {"app", foreground_app_}});
  tracker_.enter(task_id, TaskStage::awaiting_submit, SteadyClock::now());
  pending_submit_ = PendingSubmit{std::move(task_id), std::move(text)};
}

void Worker::back_to_idle() {
  tracker_.finish();
  pending_submit_.reset();
  set_phase(Phase::idle);
}

bool Worker::keep_pending_file(const ConfigRecord& config) const {
  if (config.privacy_enabled) return false;
  if (shared_->test_mode.load()) return std::getenv("KESU_KEEP_PENDING") != nullptr;
  return true;
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

}  // namespace kesu
