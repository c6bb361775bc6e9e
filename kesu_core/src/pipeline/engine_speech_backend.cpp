#include "pipeline/engine_speech_backend.h"

#include <mutex>

#include "engine/model_files.h"
#include "engine/segment_decode.h"
#include "lib/shared_state.h"
#include "util/paths.h"

namespace kesu {
namespace {

constexpr const char* kCoreGone = "Kesu 正在退出";

class EngineSpeechBackend final : public SpeechBackend {
 public:
  explicit EngineSpeechBackend(const std::shared_ptr<SharedState>& shared)
      : shared_(shared), loader_(ModelLoader::for_core(shared->core_dir)) {}

  Recognition recognise(std::span<const float> samples) override {
    Recognition out;
    const std::shared_ptr<SharedState> shared = shared_.lock();
    if (!shared) {
      out.error = kCoreGone;
      return out;
    }
    SlotResult r = shared->engine.recognise(samples);
    out.text = std::move(r.recognition.text);
    out.error = std::move(r.recognition.error);
    out.engine_wait_ms = static_cast<std::uint64_t>(r.wait_ms);
    return out;
  }

  SegmentedDecode decode_segments(std::span<const float> samples, const ConfigRecord& config,
                                  const SegmentFilter& filter) override {
    SegmentedDecode out;
    const std::shared_ptr<SharedState> shared = shared_.lock();
    if (!shared) {
      out.failure = kCoreGone;
      return out;
    }
    // Hotwords and punctuation come later, on the joined text of the whole dictation.
    Punctuator rule_only;
    const DecodeOutcome decoded =
        segment_decode(samples, DecodeTools{shared->engine, loader_, rule_only, path_from_utf8(config.models_vad), {}, filter});
    out.failure = decoded.error;
    out.filtered_out = decoded.filtered_out;
    out.all_filtered = decoded.all_filtered;
    out.engine_wait_ms = static_cast<std::uint64_t>(decoded.engine_wait_ms);
    for (const SegmentResult& s : decoded.segments) {
      DecodedSegment segment;
      segment.index = s.index;
      segment.samples = s.samples;
      segment.text = s.text;
      segment.error = s.error.value_or("");
      out.segments.push_back(std::move(segment));
    }
    return out;
  }

  std::string punctuate(std::string text, const ConfigRecord& config) override {
    return punctuator_for(config)->add(text);
  }

  std::string join(const std::vector<std::string>& texts) const override {
    return join_segment_texts(texts);
  }

  std::string engine_name() const override {
    const std::shared_ptr<SharedState> shared = shared_.lock();
    return shared ? shared->engine.name() : std::string();
  }

  bool speech_model_installed() const override {
    const std::shared_ptr<SharedState> shared = shared_.lock();
    if (!shared) return true;
    const ConfigPtr config = shared->config.snapshot();
    return model_installed("sense", *config) || model_installed("qwen3", *config);
  }

 private:
  // The punctuation model is loaded once and kept while the setting and the file stay as they are.
  std::shared_ptr<Punctuator> punctuator_for(const ConfigRecord& config) {
    const bool wanted = config.audio_punct && is_file(punct_model_path(config.core_dir));
    std::lock_guard lock(punct_mu_);
    if (!punctuator_ || punct_wanted_ != wanted) {
      punctuator_ = Punctuator::create(config, loader_);
      punct_wanted_ = wanted;
    }
    return punctuator_;
  }

  std::weak_ptr<SharedState> shared_;
  const ModelLoader loader_;
  std::mutex punct_mu_;
  std::shared_ptr<Punctuator> punctuator_;  // guarded by punct_mu_
  bool punct_wanted_ = false;               // guarded by punct_mu_
};

}  // namespace

std::shared_ptr<SpeechBackend> make_engine_speech_backend(const std::shared_ptr<SharedState>& shared) {
  return std::make_shared<EngineSpeechBackend>(shared);
}

}  // namespace kesu
