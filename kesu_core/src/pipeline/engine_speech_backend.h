#pragma once

#include <memory>
#include <mutex>

#include "engine/model_loader.h"
#include "engine/vad_pool.h"
#include "pipeline/speech_backend.h"
#include "punct/punctuator.h"

namespace kesu {

struct SharedState;

// Recognition through the core's engines: the engine slot with its lock, VAD segmentation (or
// fixed windows) with detectors kept built, and the punctuation model or rule. Holds the shared
// state weakly, so a LAN request still running after the core has gone fails cleanly instead of
// touching freed state.
class EngineSpeechBackend final : public SpeechBackend {
 public:
  explicit EngineSpeechBackend(const std::shared_ptr<SharedState>& shared);

  Recognition recognise(std::span<const float> samples) override;
  SegmentedDecode decode_segments(std::span<const float> samples, const ConfigRecord& config,
                                  const SegmentFilter& filter) override;
  std::string punctuate(std::string text, const ConfigRecord& config) override;
  std::string join(const std::vector<std::string>& texts) const override;
  std::string engine_name() const override;
  void warm_up(const ConfigRecord& config) override;
  bool speech_model_installed() const override;

  const VadPool& vad_pool() const { return vad_; }

 private:
  // The punctuation model is loaded once and kept while the setting and the file stay as they are.
  std::shared_ptr<Punctuator> punctuator_for(const ConfigRecord& config);

  std::weak_ptr<SharedState> shared_;
  const ModelLoader loader_;
  VadPool vad_{loader_};
  std::mutex punct_mu_;
  std::shared_ptr<Punctuator> punctuator_;  // guarded by punct_mu_
  bool punct_wanted_ = false;               // guarded by punct_mu_
};

std::shared_ptr<SpeechBackend> make_engine_speech_backend(const std::shared_ptr<SharedState>& shared);

}  // namespace kesu
