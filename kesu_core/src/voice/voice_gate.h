#pragma once

#include <memory>
#include <mutex>

#include "config/config_record.h"
#include "voice/voice_filter.h"

namespace kesu {

// The enrolled voice with its extractor, built at the first dictation that needs it and kept
// until the next enrolment or clearing (the threshold it was built with stays with it).
class VoiceGate {
 public:
  struct Gate {
    Embedding print;
    Embedder embed;
    float threshold = 0.62f;
  };
  // The gate, built now when empty; nullptr when the voice print or the model cannot be read.
  std::shared_ptr<const Gate> get(const ConfigRecord& config);
  void clear();

  // Speaker embeddings from somewhere else than the speaker model (tests).
  void use_embedder(Embedder embedder);
  // The embedder for `config`: the one given to use_embedder, else the speaker model's, built
  // once and kept while the model file stays the same.
  Embedder embedder_for(const ConfigRecord& config);

 private:
  std::mutex mu_;
  std::shared_ptr<const Gate> gate_;  // guarded by mu_
  Embedder override_;                 // guarded by mu_
  Embedder model_embedder_;           // guarded by mu_
  std::string model_identity_;        // guarded by mu_; what model_embedder_ was built from
};

// The speaker filter a dictation uses, chosen when the recording ends: voice lock when it is on
// and a voice print can be read, else source lock when it is on and the speaker model exists,
// else none. `voice_lock` tells which. Choosing loads nothing: a speaker model not built yet is
// built by the filter, on the thread that decodes.
SegmentFilter choose_speaker_filter(VoiceGate& gate, const ConfigRecord& config, bool& voice_lock);

// Whether a recording with this configuration may be filtered, so its audio must not be
// recognised piece by piece before the filter has seen it.
bool speaker_filter_possible(const ConfigRecord& config);

// Builds, ahead of the first dictation, what the configured speaker filter will need.
void prepare_speaker_filter(VoiceGate& gate, const ConfigRecord& config);

}  // namespace kesu
