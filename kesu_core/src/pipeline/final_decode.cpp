#include "pipeline/final_decode.h"

#include <chrono>

#include "pipeline/text_assembly.h"

namespace kesu {
namespace {

std::uint64_t elapsed_ms(std::chrono::steady_clock::time_point since) {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - since)
                                        .count());
}

std::uint64_t samples_to_ms(std::size_t samples) { return samples / 16; }

void recognise_audio(const FinalDecodeJob& job, SpeechBackend& speech, FinalDecodeOutcome& out) {
  std::size_t total = 0;
  for (const CommittedPiece& piece : job.pieces) {
    DecodedSegment segment;
    segment.index = static_cast<int>(out.segments.size());
    segment.samples = piece.samples;
    segment.text = piece.text;
    segment.error = piece.error;
    total += piece.samples.size();
    out.segments.push_back(std::move(segment));
  }
  total += job.rest.size();
  out.speech_ms = samples_to_ms(total);
  if (total == 0) {
    out.failure = Error{ErrorCode::no_audio, {}};
    return;
  }
  if (!job.rest.empty()) {
    SegmentedDecode decoded = speech.decode_segments(job.rest, *job.config, job.filter);
    out.engine_wait_ms += decoded.engine_wait_ms;
    out.filtered_out = decoded.filtered_out;
    out.all_filtered = decoded.all_filtered && job.pieces.empty();
    if (decoded.failure && job.pieces.empty()) {
      out.failure = decoded.failure;
    }
    for (DecodedSegment& segment : decoded.segments) {
      segment.index = static_cast<int>(out.segments.size());
      out.segments.push_back(std::move(segment));
    }
  }
  if (out.failure || out.all_filtered) return;
  out.failure = failure_of_all(out.segments);
}

}  // namespace

std::vector<float> whole_recording(const std::vector<CommittedPiece>& pieces,
                                   const std::vector<float>& rest) {
  std::vector<float> audio;
  for (const CommittedPiece& piece : pieces) audio.insert(audio.end(), piece.samples.begin(), piece.samples.end());
  audio.insert(audio.end(), rest.begin(), rest.end());
  return audio;
}

FinalDecodeOutcome run_final_decode(const FinalDecodeJob& job, SpeechBackend& speech,
                                    const HotwordStore& hotwords, const HttpTransport& send) {
  const auto started = std::chrono::steady_clock::now();
  FinalDecodeOutcome out;
  out.session = job.session;
  std::string joined;
  if (job.given_text) {
    joined = *job.given_text;
  } else {
    recognise_audio(job, speech, out);
    if (out.failure) {
      out.no_speech_model = !speech.speech_model_installed();
      out.decode_ms = elapsed_ms(started);
      return out;
    }
    joined = join_recognised(out.segments, speech);
  }
  out.decode_ms = elapsed_ms(started);
  if (joined.empty()) return out;

  out.raw_text = finish_text(joined, speech, *hotwords.table(), *job.config);
  out.text = out.raw_text;
  if (job.polish) {
    TextOutcome polished = polish_text(*job.polish, out.raw_text, send);
    if (polished) {
      out.text = std::move(*polished);
    } else {
      out.polish_error = user_message(polished.error());
    }
  }
  return out;
}

}  // namespace kesu
