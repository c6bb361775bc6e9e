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
  // The embedder for `config`: the one given to use_embedder, else the speaker model's.
  Embedder embedder_for(const ConfigRecord& config);

 private:
  std::mutex mu_;
  std::shared_ptr<const Gate> gate_;  // guarded by mu_
  Embedder override_;                 // guarded by mu_
};

// The speaker filter a dictation uses, chosen when the recording ends: voice lock when it is on
// and a voice print can be read, else source lock when it is on and the speaker model exists,
// else none. `voice_lock` tells which.
SegmentFilter choose_speaker_filter(VoiceGate& gate, const ConfigRecord& config, bool& voice_lock);

// Whether a recording with this configuration may be filtered, so its audio must not be
// recognised piece by piece before the filter has seen it.
bool speaker_filter_possible(const ConfigRecord& config);

}  // namespace kesu
