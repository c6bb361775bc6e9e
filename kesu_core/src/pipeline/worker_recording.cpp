// The worker from key press to release: capture, the level meter, background pieces and the
// judgement of what was recorded.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pipeline/piece_planner.h"
#include "pipeline/speech_judgement.h"
#include "pipeline/worker.h"
#include "voice/voice_gate.h"
#include "util/log.h"
#include "util/utf8.h"

namespace kesu {
namespace {

using std::chrono::milliseconds;

constexpr std::string_view kUnpluggedMessage =
    "麦克风中断了（可能被拔掉或被其他应用占用）：已保留中断前录到的内容";
constexpr std::string_view kUnpluggedSimulatedMessage =
    "麦克风中断了（模拟拔掉）：已保留中断前录到的内容";

std::uint64_t ms_since(SteadyClock::time_point since, SteadyClock::time_point now) {
  return static_cast<std::uint64_t>(
      std::max<std::int64_t>(0, std::chrono::duration_cast<milliseconds>(now - since).count()));
}

std::string no_audio_message(const ConfigRecord& config) {
  if (config.audio_device.empty()) {
    return "麦克风没有收到声音：检查系统「声音 → 输入」是否选对设备，以及设备是否被静音";
  }
  return "麦克风「" + config.audio_device + "」没有收到声音：检查它是否被静音，或换一个输入设备";
}

// The peak as a percentage with one decimal, e.g. 1.5 for 0.015.
std::string peak_percent(float peak) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::round(double(peak) * 1000.0) / 10.0);
  return text;
}

std::string joined_texts(const std::vector<CommittedPiece>& pieces) {
  std::string text;
  for (const CommittedPiece& piece : pieces) text += piece.text;
  return text;
}

}  // namespace

void Worker::on(cmd::HotkeyDown&) {
  if (!admitted(Request::press)) return;
  start_recording(std::nullopt);
}

void Worker::on(cmd::DebugRecord& debug) {
  if (!admitted(Request::press)) return;
  const float seconds = std::isfinite(debug.seconds) ? std::clamp(debug.seconds, 0.5f, 10.0f) : 0.5f;
  start_recording(milliseconds(static_cast<std::int64_t>(seconds * 1000.0f)));
}

void Worker::start_recording(std::optional<milliseconds> debug_length) {
  CaptureSlot::Claim microphone = shared_->capture_slot.claim(CaptureUser::dictation);
  if (!microphone) {
    // An enrolment took the microphone after the press was admitted.
    Activity enrolling = activity();
    enrolling.enrolment_recording = true;
    const Admission refused = admit(Request::press, enrolling);
    emit_error(refused.code, refused.message);
    return;
  }
  close_meter();  // one capture at a time
  std::string task_id = begin_dictation();
  ConfigPtr config = shared_->config.snapshot();
  set_phase(Phase::starting);
  CaptureOpen opened = open_capture(*config);
  if (!opened.capture) {
    emit_mic_unavailable(opened);
    back_to_idle();
    return;
  }
  const auto now = SteadyClock::now();
  Recording recording;
  recording.microphone = std::move(microphone);
  recording.capture = std::move(opened.capture);
  recording.started = now;
  recording.auto_stop = now + std::chrono::seconds(config->audio_max_record_secs);
  if (debug_length) recording.debug_stop = now + *debug_length;
  recording.filter_possible = speaker_filter_possible(*config);
  recording_ = std::move(recording);
  current_ = Session{};
  current_->task_id = std::move(task_id);
  current_->config = std::move(config);
  tracker_.enter(current_->task_id, TaskStage::recording, now);
  set_phase(Phase::listening);
}

void Worker::run_recording_duties() {
  if (!recording_ || phase_ != Phase::listening) return;
  Capture& capture = *recording_->capture;
  const auto now = SteadyClock::now();
  if (!capture.healthy()) {
    emit_error("mic_unplugged",
               capture.failure_simulated() ? kUnpluggedSimulatedMessage : kUnpluggedMessage);
    release();
    return;
  }
  if (recording_->auto_stop && now >= *recording_->auto_stop) {
    emit_notice("record_limit", "到 " + std::to_string(current_->config->audio_max_record_secs) +
                                    " 秒上限了，已自动结束并开始识别（上限可在设置里调）");
    release();
    return;
  }
  if (recording_->debug_stop && now >= *recording_->debug_stop) {
    release();
    return;
  }
  emit_meter();
  schedule_piece();
}

void Worker::emit_meter() {
  if (!recording_->meter.due(SteadyClock::now())) return;
  SampleBuffer& buffer = recording_->capture->buffer();
  const std::size_t recorded = buffer.size();  // the whole recording stays in the buffer
  const MeterLevels levels = meter_levels(buffer.tail(kMeterWindow));
  if (std::getenv("KESU_DEBUG_METER") != nullptr) {
    log_line("rms=" + std::to_string(levels.rms) + " peak=" + std::to_string(levels.peak),
             "[meter]");
  }
  emit("meter", {{"rms", levels.rms},
                 {"peak", levels.peak},
                 {"silent", levels.silent},
                 {"live", true},
                 {"secs", double(recorded) / 16000.0}});
}

void Worker::schedule_piece() {
  Recording& rec = *recording_;
  if (rec.in_flight) return;
  SampleBuffer& buffer = rec.capture->buffer();
  const std::size_t total = buffer.size();
  if (total < rec.committed + piece_limits::kMinPending) return;
  const auto now = SteadyClock::now();
  const std::vector<float> pending = buffer.copy_from(rec.committed);
  std::optional<PiecePlan> plan = plan_piece(pending, rec.committed, now >= rec.next_piece_at);
  if (!plan) return;
  if (plan->final && rec.filter_possible) {
    // The speaker filter must see the whole recording: show a preview instead.
    plan = PiecePlan{std::max(rec.committed, plan->to > piece_limits::kPreviewSpan ? plan->to - piece_limits::kPreviewSpan : 0),
                     plan->to, false};
  }

  const auto first = pending.begin() + static_cast<std::ptrdiff_t>(plan->from - rec.committed);
  const auto last = pending.begin() + static_cast<std::ptrdiff_t>(plan->to - rec.committed);
  std::vector<float> samples(first, last);
  const std::uint64_t id = ++piece_counter_;
  if (plan->final) {
    rec.pieces.push_back(CommittedPiece{samples, "", {}});
    rec.committed = plan->to;
  }
  auto speech = shared_->speech;
  auto queue = queue_;
  const std::uint64_t session = session_;
  const bool started = helpers_.spawn("kesu-progressive", [speech, queue, session, id,
                                                           samples = std::move(samples)] {
    const auto began = SteadyClock::now();
    Recognition r = speech->recognise(samples);
    cmd::PieceDone done{session, id, std::move(r.text), std::move(r.error),
                        ms_since(began, SteadyClock::now())};
    (void)queue->push(std::move(done));
  });
  if (!started) {
    // No background help: the final decode will do this audio.
    if (plan->final) {
      rec.pieces.pop_back();
      rec.committed = plan->from;
    }
    return;
  }
  rec.in_flight = PieceInFlight{id, plan->final};
  rec.next_piece_at = now + piece_spacing(rec.last_piece_decode);
}

void Worker::on(cmd::PieceDone& piece) {
  if (!recording_ || piece.session != session_ || !recording_->in_flight ||
      recording_->in_flight->id != piece.piece) {
    return;  // answers a dictation or a piece given up on
  }
  Recording& rec = *recording_;
  const bool final = rec.in_flight->final;
  rec.in_flight.reset();
  rec.last_piece_decode = milliseconds(piece.decode_ms);
  if (final) {
    rec.pieces.back().text = piece.text;
    rec.pieces.back().error = piece.error;
  }
  if (phase_ != Phase::listening) return;
  const std::string text = joined_texts(rec.pieces) + (final ? "" : piece.text);
  if (text.empty()) return;
  emit("partial_text", {{"text", text}, {"chars", utf8_char_count(text)}, {"ms", piece.decode_ms}});
}

void Worker::on(cmd::HotkeyUp&) {
  if (phase_ == Phase::listening) {
    release();
  } else {
    (void)admitted(Request::release);  // says why when the press was ignored
  }
}

void Worker::wait_for_piece_in_flight(std::uint64_t& waited_ms) {
  Recording& rec = *recording_;
  if (!rec.in_flight) return;
  const auto began = SteadyClock::now();
  const std::uint64_t id = rec.in_flight->id;
  std::optional<Command> answer = queue_->pop_matching(
      [id](const Command& c) {
        const auto* done = std::get_if<cmd::PieceDone>(&c);
        return done != nullptr && done->piece == id;
      },
      timings_.piece_wait);
  waited_ms = ms_since(began, SteadyClock::now());
  if (answer) {
    on(std::get<cmd::PieceDone>(*answer));
    return;
  }
  // Too slow: its audio goes to the final decode instead and its late answer is ignored.
  if (rec.in_flight->final) {
    rec.committed -= rec.pieces.back().samples.size();
    rec.pieces.pop_back();
  }
  rec.in_flight.reset();
}

void Worker::release() {
  Recording& rec = *recording_;
  const auto now = SteadyClock::now();
  rec.auto_stop.reset();
  rec.debug_stop.reset();
  const std::uint64_t held_ms = ms_since(rec.started, now);
  rec.capture->stop();
  std::uint64_t waited_ms = 0;
  wait_for_piece_in_flight(waited_ms);

  if (!admitted(Request::release)) {
    back_to_idle();
    return;
  }
  std::vector<float> rest = rec.capture->buffer().copy_from(rec.committed);
  std::vector<CommittedPiece> pieces = std::move(rec.pieces);
  const ConfigRecord& config = *current_->config;
  std::vector<float> audio = whole_recording(pieces, rest);
  const SpeechJudgement judged = judge_speech(audio);
  if (!judged.speech) {
    emit_error("no_audio", no_audio_message(config));
    back_to_idle();
    return;
  }
  if (judged.peak < kQuietPeak) {
    emit_error("too_quiet", "声音太小了（峰值 " + peak_percent(judged.peak) +
                                "%）：靠近麦克风一点，或把系统「声音 → 输入」的音量调高。这次没有上屏");
    back_to_idle();
    return;
  }
  if (held_ms < static_cast<std::uint64_t>(std::max<std::int64_t>(0, config.audio_min_record_ms))) {
    emit_error("too_short", "按住 " + std::to_string(held_ms) + "ms 太短了（至少 " +
                                std::to_string(config.audio_min_record_ms) +
                                "ms）：按住说完整句再松开");
    back_to_idle();
    return;
  }
  stop_recording();
  current_->audio = std::move(audio);
  current_->had_speech = true;
  current_->wait_ms = waited_ms;
  current_->released = now;
  start_final_decode(make_job(std::move(pieces), std::move(rest)));
}

}  // namespace kesu
