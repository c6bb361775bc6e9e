#include "main/event_intake.h"

#include <tuple>

#include <nlohmann/json.hpp>

#include "main/core_calls.h"
#include "main/json_members.h"
#include "main/logs.h"
#include "main/text.h"

namespace kesu::shell {

using Json = nlohmann::json;

namespace {

// Payload member readers: a missing payload or member, or one of another type, reads as absent.
std::optional<std::string> str(const Json* payload, const char* name) {
  if (payload == nullptr || !payload->is_object()) return std::nullopt;
  const auto it = payload->find(name);
  if (it == payload->end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool flag(const Json* payload, const char* name) {
  return payload != nullptr && bool_member(*payload, name);
}

double num(const Json* payload, const char* name) {
  if (payload == nullptr || !payload->is_object()) return 0;
  const auto it = payload->find(name);
  return it != payload->end() && it->is_number() ? it->get<double>() : 0;
}

std::uint64_t unsigned_num(const Json* payload, const char* name) {
  if (payload == nullptr || !payload->is_object()) return 0;
  const auto it = payload->find(name);
  return it != payload->end() && it->is_number_unsigned() ? it->get<std::uint64_t>() : 0;
}

bool is_recording(std::string_view phase) { return phase == "starting" || phase == "listening"; }

std::string model_kind(std::string_view id) {
  if (id == "sense" || id == "qwen3") return "语音模型";
  if (id == "gtcrn") return "降噪模型";
  if (id == "punct") return "标点模型";
  if (id == "vad") return "静音检测模型";
  if (id == "speaker") return "声纹模型";
  return "模型";
}

std::int64_t saved_minutes(std::string_view stats_json) {
  const Json stats = Json::parse(stats_json, nullptr, false);
  if (!stats.is_object()) return 0;
  const auto today = stats.find("today");
  if (today == stats.end() || !today->is_object()) return 0;
  const auto chars = today->find("chars");
  if (chars == today->end() || !chars->is_number_integer()) return 0;
  const std::int64_t n = chars->get<std::int64_t>();
  return n < 0 ? 0 : n / 1000 * 40;
}

}  // namespace

OverlayTiming& overlay_timing() {
  static OverlayTiming timing;
  return timing;
}

IntakeSinks IntakeSinks::real() {
  IntakeSinks sinks;
  sinks.trace = [](std::string_view t) { shell::trace(t); };
  sinks.stderr_line = [](std::string_view t) { shell::stderr_line(t); };
  sinks.core_error = [](std::string_view c, std::string_view m) { log_core_error(c, m); };
  sinks.raw_debug = [](std::string_view t) { shell::raw_debug(t); };
  sinks.raw_debug_on = [] { return shell::raw_debug_on(); };
  return sinks;
}

EventIntake::EventIntake(AppState& state, HotkeyHolder& hotkey, OverlayTiming& timing,
                         IntakeSinks sinks)
    : state_(state), hotkey_(hotkey), timing_(timing), sinks_(std::move(sinks)) {}

void EventIntake::on_event_units(std::u16string_view units) {
  if (units.empty()) return;
  on_event(utf16_to_utf8(units));
}

void EventIntake::on_event(std::string_view raw) {
  if (raw.empty()) return;
  const std::string text = sanitize_utf8(raw);
  sinks_.trace("event-in " + cut_chars(text, 40));
  try {
    handle(text);
  } catch (...) {
    sinks_.stderr_line("[kesu] 处理事件时出错（已忽略这一条，程序继续）：" + cut_chars(text, 120));
  }
  sinks_.trace("event-out " + cut_chars(text, 40));
}

// The event types the shell acts on; any other type is ignored.
const EventIntake::Route EventIntake::kRoutes[] = {
    {"state", &EventIntake::on_state},
    {"error", &EventIntake::on_error},
    {"notice", &EventIntake::on_notice},
    {"meter", &EventIntake::on_meter},
    {"result", &EventIntake::on_result},
    {"submit_request", &EventIntake::on_submit_request},
    {"partial_text", &EventIntake::on_partial_text},
    {"pending_result", &EventIntake::on_pending_result},
    {"model_progress", &EventIntake::on_model_progress},
    {"model_done", &EventIntake::on_model_done},
    {"model_failed", &EventIntake::on_model_failed},
};

void EventIntake::handle(std::string_view text) {
  std::lock_guard app_lock(state_.mu);
  const Json event = Json::parse(text, nullptr, false);
  if (event.is_discarded()) return;

  std::string type;
  if (event.is_object()) {
    const auto it = event.find("type");
    if (it != event.end() && it->is_string()) type = it->get<std::string>();
  }
  if (sinks_.raw_debug_on()) sinks_.raw_debug("event " + cut_chars(text, 160));
  const Json* payload = nullptr;
  if (event.is_object()) {
    const auto it = event.find("payload");
    if (it != event.end()) payload = &*it;
  }
  for (const Route& route : kRoutes) {
    if (route.type == type) {
      (this->*route.handler)(payload);
      return;
    }
  }
}

void EventIntake::on_state(const Json* payload) {
  const Views& v = state_.views;
  const std::string phase = str(payload, "phase").value_or("idle");
  state_.phase = phase;
  v.mini->set_phase(phase);
  if (phase == "idle" || phase == "done") {
    if (state_.core) v.mini->set_saved_minutes(saved_minutes(CoreCalls(*state_.core).get_stats()));
    if (v.push_to_talk->idle_origin_is_mini()) v.push_to_talk->idle_from_mini();
  }
  if (!v.onboarding->is_open()) show_phase(phase);
  if (v.onboarding->waiting_for_test_sentence()) {
    if (phase == "processing" || phase == "decoding") v.onboarding->hint("听到了，正在识别…");
    if (is_recording(phase)) v.onboarding->hint("正在听…松开后出字");
  }
  v.push_to_talk->media_on_phase(phase);
  if (is_recording(phase)) {
    v.tray->set_tooltip("言至：在听…");
  } else if (phase == "processing") {
    v.tray->set_tooltip("言至：识别中…");
  } else if (phase == "inserting") {
    v.tray->set_tooltip("言至：上屏中…");
  } else {
    v.tray->set_tooltip(kTooltipReady);
  }
}

void EventIntake::show_phase(const std::string& phase) {
  const Views& v = state_.views;
  const auto now = OverlayTiming::Clock::now();
  if (is_recording(phase) && timing_.tip_active(now)) {
    timing_.clear_tip_deadline();
    sinks_.trace("OVERLAY 开始新一段，清掉旧提示");
  }
  if (timing_.tip_active(now)) {
    sinks_.trace("OVERLAY 保留错误提示，忽略状态 " + phase);
    return;
  }
  if (phase == "idle") {
    std::uint64_t gen;
    {
      std::lock_guard lock(v.overlay_model->mu);
      v.overlay_model->phase = "done";
      gen = ++timing_.generation;
      v.overlay_model->level = 0;
    }
    v.overlay->repaint();
    OverlayView* overlay = v.overlay;
    OverlayTiming* timing = &timing_;
    v.scheduler->after(std::chrono::milliseconds(900), [overlay, timing, gen] {
      if (timing->generation.load() == gen) overlay->hide();
    });
    return;
  }
  // The caret is looked up before the lock: the probe talks to another thread's window.
  const auto anchor = is_recording(phase) ? v.overlay->caret_anchor() : std::nullopt;
  {
    std::lock_guard lock(v.overlay_model->mu);
    v.overlay_model->phase = phase;
    ++timing_.generation;
    if (is_recording(phase)) {
      v.overlay_model->text.clear();
      v.overlay_model->width = 190;
      v.overlay_model->has_anchor = anchor.has_value();
      if (anchor) std::tie(v.overlay_model->anchor_x, v.overlay_model->anchor_y) = *anchor;
    }
  }
  v.overlay->repaint();
}

void EventIntake::on_error(const Json* payload) {
  const Views& v = state_.views;
  const std::string code = str(payload, "code").value_or("");
  const auto message = str(payload, "message");
  if (code == "engine_ready") {
    // Good news that travels as an error: shown as such, never logged as a failure.
    const std::string shown = message.value_or("引擎已切换");
    v.overlay->show_notice(shown);
    v.tray->set_tooltip("言至：" + shown);
    return;
  }
  if (!code.empty()) sinks_.core_error(code, message.value_or(""));
  if (code == "polish_failed") {
    v.overlay->show_tip("润色没成功，这次贴的是原话");
    v.tray->set_tooltip("言至：" + message.value_or("润色没成功"));
    return;
  }
  const std::string shown = message.value_or("出错了");
  if (code == "mic_unavailable" || code == "mic_unplugged") {
    v.overlay->show_tip(flag(payload, "device_missing")
                            ? "麦克风打不开：在「设置 → 音频」里改回系统默认设备"
                            : "麦克风中断了，已保留中断前的内容");
  } else {
    v.overlay->show_tip(shown);
  }
  v.tray->set_tooltip("言至：" + shown);
}

void EventIntake::on_notice(const Json* payload) {
  // News the user should see (the recording was cut, polishing fell back, voices were skipped);
  // other notices stay in the events log.
  const std::string code = str(payload, "code").value_or("");
  const auto message = str(payload, "message");
  if (code == "polish_failed") {
    state_.views.overlay->show_notice(message.value_or("润色没成功，这次贴的是原话"));
  } else if (code == "record_limit" || code == "voice_skipped" || code == "voice_all_skipped") {
    if (message) state_.views.overlay->show_notice(*message);
  }
}

void EventIntake::on_meter(const Json* payload) {
  const Views& v = state_.views;
  const float rms = static_cast<float>(num(payload, "rms"));
  // Only a dictation's level moves the overlay: the settings window's level test must not
  // bring it up.
  if (!v.onboarding->is_open() && is_recording(state_.phase)) {
    v.overlay->set_level(rms, static_cast<float>(num(payload, "secs")));
  }
  v.settings->mic_meter(rms);
  v.onboarding->meter(rms);
}

void EventIntake::on_result(const Json* payload) {
  const Views& v = state_.views;
  {
    std::lock_guard lock(v.overlay_model->mu);
    v.overlay_model->text = str(payload, "text").value_or("");
    v.overlay_model->phase = "inserting";
  }
  v.overlay->repaint();
  OverlayView* overlay = v.overlay;
  v.scheduler->after(std::chrono::milliseconds(1200), [overlay] { overlay->hide(); });
  v.tray->set_tooltip("言至：已上屏");
  if (v.settings->is_open() && v.settings->showing_history()) v.settings->refresh_history();
}

void EventIntake::on_submit_request(const Json* payload) {
  const Views& v = state_.views;
  const std::string task = str(payload, "task_id").value_or("");
  const std::string mode = str(payload, "mode").value_or("paste");
  const std::string said = str(payload, "text").value_or("");
  if (v.onboarding->waiting_for_test_sentence()) {
    const bool ok = v.onboarding->probe_matches(said);
    sinks_.stderr_line("[kesu] onboarding probe ok=" + std::string(ok ? "true" : "false") +
                       " len=" + std::to_string(char_count(said)));
    if (state_.core) (void)CoreCalls(*state_.core).submit_result(task, "ok", "");
  } else {
    v.insertion->start_insertion(task, said, mode);
  }
}

void EventIntake::on_partial_text(const Json* payload) {
  const Views& v = state_.views;
  const std::string partial = str(payload, "text").value_or("");
  if (v.onboarding->on_test_step()) {
    v.onboarding->display_text(partial);
    return;
  }
  {
    std::lock_guard lock(v.overlay_model->mu);
    v.overlay_model->text = partial;
  }
  v.overlay->repaint();
}

void EventIntake::on_pending_result(const Json* payload) {
  state_.views.insertion->pending_result(str(payload, "text").value_or(""));
}

void EventIntake::on_model_progress(const Json* payload) {
  const Views& v = state_.views;
  const std::uint64_t received = unsigned_num(payload, "received");
  const std::uint64_t total = unsigned_num(payload, "total");
  if (total > 0) {
    const auto pct = static_cast<std::uint64_t>(static_cast<unsigned __int128>(received) * 100 / total);
    v.tray->set_tooltip("言至：正在下载模型 " + std::to_string(pct) + "%");
  }
  v.settings->download_progress(received, total);
  v.onboarding->download_progress(str(payload, "id").value_or(""), received, total);
}

void EventIntake::on_model_done(const Json* payload) {
  const Views& v = state_.views;
  const std::string id = str(payload, "id").value_or("");
  const std::string kind = model_kind(id);
  if (v.onboarding->is_open()) v.onboarding->refresh_models();
  v.tray->set_tooltip("言至：" + kind + "已就绪");
  if (id == "sense" || id == "qwen3") {
    v.overlay->show_tip(kind + "下载完成，现在可以按住 " + hotkey_.display_name() + " 说话了");
  } else {
    v.overlay->show_tip(kind + "下载完成");
  }
}

void EventIntake::on_model_failed(const Json* payload) {
  const Views& v = state_.views;
  const std::string message = str(payload, "message").value_or("下载失败");
  v.tray->set_tooltip("言至：模型下载失败（" + message + "）");
  v.overlay->show_tip("模型下载失败：" + message);
  if (v.settings->is_open()) v.tray->message("模型下载失败：" + message);
}

}  // namespace kesu::shell
