// The worker from release to insertion: the final decode, the result and the insertion
// handshake with the host.

#include <algorithm>

#include "config/config_rules.h"
#include "pipeline/worker.h"
#include "voice/voice_gate.h"
#include "pipeline/speech_judgement.h"
#include "util/log.h"
#include "util/utf8.h"

namespace kesu {
namespace {

constexpr std::string_view kSilentMessage =
    "录音几乎是静音：麦克风可能被静音、选错了输入设备，或者离得太远";
constexpr std::string_view kUnclearMessage =
    "声音太小或不清楚：靠近麦克风再说一次，或检查是否选错了输入设备";
constexpr std::string_view kNoModelMessage =
    "语音模型还没下载：打开设置 →「引擎」页，选一个模型后点「下载选中模型」。";

std::uint64_t ms_between(SteadyClock::time_point since, SteadyClock::time_point now) {
  return static_cast<std::uint64_t>(std::max<std::int64_t>(
      0, std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count()));
}

nlohmann::json segments_json(const std::vector<DecodedSegment>& segments) {
  nlohmann::json list = nlohmann::json::array();
  for (const DecodedSegment& s : segments) {
    list.push_back({{"index", s.index}, {"samples", s.samples.size()}, {"text", s.text},
                    {"error", s.error ? user_message(*s.error) : std::string()}});
  }
  return list;
}

}  // namespace

std::string Worker::begin_dictation() {
  ++session_;
  ++generation_;
  ++task_counter_;
  return "t" + std::to_string(session_) + "-" + std::to_string(task_counter_);
}

void Worker::start_session(std::vector<float> audio) {
  current_ = Session{};
  current_->task_id = begin_dictation();
  current_->config = shared_->config.snapshot();
  current_->audio = std::move(audio);
  current_->released = SteadyClock::now();
}

FinalDecodeJob Worker::make_job(std::vector<CommittedPiece> pieces, std::vector<float> rest) {
  FinalDecodeJob job;
  job.session = session_;
  job.pieces = std::move(pieces);
  job.rest = std::move(rest);
  job.config = current_->config;
  // The session's style is the active profile at release.
  job.filter = choose_speaker_filter(shared_->voice_gate, *job.config, current_->voice_lock);
  const Profile profile = shared_->profiles.active_profile();
  job.polish = pipeline_polish_settings(*job.config, PolishProfileView{profile.level, profile.prompt},
                                        foreground_app_);
  return job;
}

void Worker::start_final_decode(FinalDecodeJob job) {
  set_phase(Phase::processing);
  auto shared = shared_;
  auto queue = queue_;
  auto transport = polish_transport_;
  const std::uint64_t session = job.session;
  const bool started = helpers_.spawn("kesu-decode", [shared, queue, transport, job = std::move(job)] {
    FinalDecodeOutcome outcome = run_final_decode(job, *shared->speech, shared->hotwords, transport);
    (void)queue->push(cmd::DecodeDone{std::move(outcome)});
  });
  if (!started) {
    emit_error("decode_busy", "排不进解码队列");
    back_to_idle();
    return;
  }
  decoding_ = session;
  tracker_.enter(current_->task_id, TaskStage::decoding, SteadyClock::now());
}

void Worker::on(cmd::DecodeDone& done) {
  FinalDecodeOutcome& outcome = done.outcome;
  if (decoding_ == outcome.session) decoding_.reset();
  if (!current_ || outcome.session != session_ || phase_ != Phase::processing) {
    return;  // a dictation that was cancelled or timed out meanwhile
  }
  if (outcome.all_filtered && current_->voice_lock) {
    emit_notice("voice_all_skipped", "这段话都不像你的声音，已跳过（设置里可以关掉「只录我的声音」）");
    back_to_idle();
    return;
  }
  if (outcome.failure) {
    report_failure(outcome);
    back_to_idle();
    return;
  }
  if (outcome.filtered_out > 0 && current_->voice_lock) {
    emit_notice("voice_skipped", "略过 " + std::to_string(outcome.filtered_out) +
                                     " 段不像你的声音的内容（设置里可关「只录我的声音」）");
  }
  segments_ = outcome.segments;
  report_failed_segments(outcome);
  if (outcome.text.empty()) {
    emit_error("empty_result", current_->had_speech ? kUnclearMessage : kSilentMessage);
    back_to_idle();
    return;
  }
  deliver(outcome);
}

void Worker::report_failure(const FinalDecodeOutcome& outcome) {
  const ConfigRecord& config = *current_->config;
  segments_ = outcome.segments;
  shared_->failed_segments.set({});
  failed_audio_ = current_->audio;
  std::string message;
  if (outcome.no_speech_model) {
    message = std::string(kNoModelMessage);
  } else if (audio_stays_in_memory(config)) {
    message = "识别失败：" + user_message(*outcome.failure) + "。隐私模式下音频没落盘，本次运行内可从菜单重试";
  } else {
    if (const Status kept = pending_files_.write_failed_audio(current_->audio); !kept) {
      log_line("失败音频暂存失败：" + user_message(kept.error()));
    }
    const std::string id =
        shared_->history.record_failure(foreground_app_, outcome.speech_ms, true);
    message = "识别失败：" + user_message(*outcome.failure) + "。音频已保留 24 小时，可从菜单重试（历史 " + id + "）";
  }
  emit_error("asr_failed", message);
}

void Worker::report_failed_segments(const FinalDecodeOutcome& outcome) {
  std::vector<int> failed;
  for (const DecodedSegment& s : outcome.segments) {
    if (s.error) failed.push_back(s.index);
  }
  shared_->failed_segments.set(failed);
  if (failed.empty()) return;
  emit("failed_segments", {{"count", failed.size()}, {"indexes", failed}});
  emit_error("partial_result", std::to_string(outcome.segments.size()) + " 段里有 " +
                                   std::to_string(failed.size()) + " 段没识别成功，已保留成功部分");
}

void Worker::deliver(const FinalDecodeOutcome& outcome) {
  Session& session = *current_;
  const ConfigRecord& config = *session.config;
  if (outcome.polish_error) {
    emit_notice("polish_failed", "润色没成功，已用原文：" + *outcome.polish_error);
  }
  const auto now = SteadyClock::now();
  const std::uint64_t latency_ms = ms_between(session.released, now);
  const bool record = !audio_stays_in_memory(config);
  if (record) {
    DictationRecord entry;
    entry.text = outcome.text;
    entry.app = foreground_app_;
    entry.speech_ms = outcome.speech_ms;
    entry.decode_ms = outcome.decode_ms;
    entry.segments = outcome.segments.size();
    entry.latency_ms = latency_ms;
    session.history_id = shared_->history.record_result(entry);
  }
  bool partial = false;
  for (const DecodedSegment& s : outcome.segments) partial = partial || s.error.has_value();

  // Stored before the event so a host reacting to "result" already reads the new text.
  shared_->last_result.set(outcome.text);
  emit("result", {{"task_id", session.task_id},
                  {"text", outcome.text},
                  {"raw_text", outcome.raw_text},
                  {"partial", partial},
                  {"segments", segments_json(outcome.segments)},
                  {"history_id", session.history_id},
                  {"speech_ms", outcome.speech_ms},
                  {"decode_ms", outcome.decode_ms},
                  {"latency_ms", latency_ms},
                  {"wait_ms", session.wait_ms},
                  {"engine_wait_ms", outcome.engine_wait_ms},
                  {"privacy", config.privacy_enabled}});
  if (keep_pending_file(config)) {
    if (const Status kept = pending_files_.write_last_result(outcome.text); !kept) {
      log_line(user_message(kept.error()));
    }
  }

  set_phase(Phase::inserting);
  emit("submit_request", {{"task_id", session.task_id},
                          {"text", outcome.text},
                          {"phase", phase_name(Phase::inserting)},
                          {"mode", insert_mode_for_app(config, foreground_app_)},
                          {"app", foreground_app_}});
  tracker_.enter(session.task_id, TaskStage::awaiting_submit, SteadyClock::now());
  pending_submit_ = session.task_id;
  emit("stats", shared_->history.stats());
}

void Worker::on(cmd::SubmitResult& submit) {
  if (pending_submit_.empty() || submit.task_id != pending_submit_) {
    emit_error("stale_submit", "上屏回报与当前任务不匹配，已忽略");
    return;
  }
  if (submit.status == "ok") {
    if (current_ && !current_->history_id.empty()) {
      shared_->history.set_status(current_->history_id, "inserted");
    }
    pending_files_.delete_last_result();
  } else {
    const bool has_detail = submit.detail && !submit.detail->empty();
    emit_error("submit_" + submit.status,
               has_detail ? *submit.detail : "无法自动粘贴，文字已保存，可从菜单复制");
  }
  back_to_idle();
}

void Worker::on(cmd::DebugSubmitText& debug) {
  if (!admitted(Request::debug_text)) return;
  start_session({});
  FinalDecodeJob job = make_job({}, {});
  job.given_text = std::move(debug.text);
  start_final_decode(std::move(job));
}

}  // namespace kesu
