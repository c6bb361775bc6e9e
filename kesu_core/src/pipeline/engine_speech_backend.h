#pragma once

#include <memory>

#include "pipeline/speech_backend.h"

namespace kesu {

struct SharedState;

// Recognition through the core's engines: the engine slot with its lock, VAD segmentation (or
// fixed windows) and the punctuation model or rule. Holds the shared state weakly, so a LAN
// request still running after the core has gone fails cleanly instead of touching freed state.
std::shared_ptr<SpeechBackend> make_engine_speech_backend(const std::shared_ptr<SharedState>& shared);

}  // namespace kesu
