#include "pipeline/engine_speech_backend.h"

#include <mutex>

#include "engine/engine_factory.h"
#include "config/model_files.h"
#include "pipeline/segment_decode.h"
#include "pipeline/shared_state.h"
#include "util/paths.h"

namespace kesu {

EngineSpeechBackend::EngineSpeechBackend(const std::shared_ptr<SharedState>& shared)
    : shared_(shared), loader_(ModelLoader::for_core(shared->core_dir)) {}

Recognition EngineSpeechBackend::recognise(std::span<const float> samples) {
  Recognition out;
  const std::shared_ptr<SharedState> shared = shared_.lock();
  if (!shared) {
    out.error = Error{ErrorCode::core_closing, {}};
    return out;
  }
  SlotResult r = shared->engine.recognise(samples);
  out.text = std::move(r.recognition.text);
  out.error = std::move(r.recognition.error);
  out.engine_wait_ms = static_cast<std::uint64_t>(r.wait_ms);
  return out;
}

SegmentedDecode EngineSpeechBackend::decode_segments(std::span<const float> samples,
                                                     const ConfigRecord& config,
                                                     const SegmentFilter& filter) {
  SegmentedDecode out;
  const std::shared_ptr<SharedState> shared = shared_.lock();
  if (!shared) {
    out.failure = Error{ErrorCode::core_closing, {}};
    return out;
  }
  // Hotwords and punctuation come later, on the joined text of the whole dictation.
  Punctuator rule_only;
  const DecodeOutcome decoded =
      segment_decode(samples, DecodeTools{shared->engine, vad_, rule_only,
                                              path_from_utf8(config.models_vad), {}, filter});
  out.failure = decoded.error;
  out.filtered_out = decoded.filtered_out;
  out.all_filtered = decoded.all_filtered;
  out.engine_wait_ms = static_cast<std::uint64_t>(decoded.engine_wait_ms);
  for (const SegmentResult& s : decoded.segments) {
    DecodedSegment segment;
    segment.index = s.index;
    segment.samples = s.samples;
    segment.text = s.text;
    segment.error = s.error;
    out.segments.push_back(std::move(segment));
  }
  return out;
}

std::string EngineSpeechBackend::punctuate(std::string text, const ConfigRecord& config) {
  return punctuator_for(config)->add(text);
}

std::string EngineSpeechBackend::join(const std::vector<std::string>& texts) const {
  return join_segment_texts(texts);
}

std::string EngineSpeechBackend::engine_name() const {
  const std::shared_ptr<SharedState> shared = shared_.lock();
  return shared ? shared->engine.name() : std::string();
}

void EngineSpeechBackend::warm_up(const ConfigRecord& config) {
  const std::shared_ptr<SharedState> shared = shared_.lock();
  if (!shared) return;
  (void)vad_.prepare(path_from_utf8(config.models_vad));
  warm_up_engine(shared->engine);
  prepare_speaker_filter(shared->voice_gate, config);
}

bool EngineSpeechBackend::speech_model_installed() const {
  const std::shared_ptr<SharedState> shared = shared_.lock();
  if (!shared) return true;
  const ConfigPtr config = shared->config.snapshot();
  return model_installed("sense", *config) || model_installed("qwen3", *config);
}

std::shared_ptr<Punctuator> EngineSpeechBackend::punctuator_for(const ConfigRecord& config) {
  const bool wanted = config.audio_punct && is_file(punct_model_path(config.core_dir));
  std::lock_guard lock(punct_mu_);
  if (!punctuator_ || punct_wanted_ != wanted) {
    punctuator_ = Punctuator::create(config, loader_);
    punct_wanted_ = wanted;
  }
  return punctuator_;
}

std::shared_ptr<SpeechBackend> make_engine_speech_backend(const std::shared_ptr<SharedState>& shared) {
  return std::make_shared<EngineSpeechBackend>(shared);
}

}  // namespace kesu
