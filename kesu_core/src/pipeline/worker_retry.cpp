// Recognition without a key press: retries of failed audio and single segments, and WAV files.

#include <algorithm>

#include "pipeline/speech_judgement.h"
#include "pipeline/worker.h"
#include "util/utf8.h"

namespace kesu {

void Worker::on(cmd::RetryFailed&) {
  if (!admitted(Request::retry_failed)) return;
  std::vector<float> audio;
  if (failed_audio_) {
    audio = *failed_audio_;
  } else {
    PendingFiles::FailedAudio stored = pending_files_.read_failed_audio();
    if (stored.error) {
      emit_error("retry_unavailable", user_message(*stored.error));
      return;
    }
    if (!stored.samples) {
      emit_error("retry_unavailable", "没有可重试的音频（暂存已过期或从未失败）");
      return;
    }
    audio = std::move(*stored.samples);
  }
  start_session(audio);
  start_final_decode(make_job({}, std::move(audio)));
}

void Worker::on(cmd::DecodeWav& decode) {
  if (!admitted(Request::decode_wav)) return;
  start_session(decode.samples);
  current_->had_speech = judge_speech(decode.samples).speech;
  start_final_decode(make_job({}, std::move(decode.samples)));
}

void Worker::on(cmd::RetrySegment& retry) {
  if (!admitted(Request::retry_segment)) return;
  const auto found = std::find_if(segments_.begin(), segments_.end(),
                                  [&](const DecodedSegment& s) { return s.index == retry.index; });
  if (found == segments_.end()) {
    emit_error("segment_not_found", "第 " + std::to_string(retry.index) + " 段没有可重试的音频");
    return;
  }
  emit("segment_retry_started", {{"index", retry.index}, {"samples", found->samples.size()}});
  shared_->segment_retry_running.store(true);
  auto shared = shared_;
  auto queue = queue_;
  const int index = retry.index;
  const bool started = helpers_.spawn("kesu-segment", [shared, queue, index, samples = found->samples] {
    Recognition r = shared->speech->recognise(samples);
    // Cleared before the answer is queued: a retry asked for right after the answer is seen
    // must not be refused as "still running".
    shared->segment_retry_running.store(false);
    if (r.error) {
      (void)queue->push(cmd::SegmentRetryFailed{index, *r.error});
    } else {
      (void)queue->push(cmd::SegmentRetryDone{index, std::move(r.text)});
    }
  });
  if (!started) {
    shared_->segment_retry_running.store(false);
    emit_error("segment_spawn", "起不了重试线程");
  }
}

void Worker::on(cmd::SegmentRetryFailed& failed) {
  emit_error("segment_retry_failed",
             "第 " + std::to_string(failed.index) + " 段重试失败：" + user_message(failed.error));
}

void Worker::on(cmd::SegmentRetryDone& done) {
  if (done.text.empty()) {
    emit_error("segment_empty", "第 " + std::to_string(done.index) + " 段重试后还是空的");
    return;
  }
  // The segment now has its text: it is no longer offered for a retry.
  for (DecodedSegment& s : segments_) {
    if (s.index == done.index) {
      s.text = done.text;
      s.error.reset();
    }
  }
  std::vector<int> failed = shared_->failed_segments.get();
  std::erase(failed, done.index);
  shared_->failed_segments.set(std::move(failed));
  emit("segment_result", {{"index", done.index}, {"text", done.text}, {"chars", utf8_char_count(done.text)}});
}

}  // namespace kesu
