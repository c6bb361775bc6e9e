#pragma once

#include <memory>
#include <span>

#include "lan/lan_request.h"
#include "pipeline/speech_backend.h"

namespace kesu {

struct SharedState;

// One LAN request's recognition: the same segments and joining rule as a dictation, without
// hotwords, punctuation, polish or voice lock.
lan::Transcript transcribe_for_lan(SpeechBackend& speech, std::span<const float> samples,
                                   const ConfigRecord& config);

// The LAN server's view of the core: the shared recogniser and, for each request, the current
// configuration. Holds the shared state weakly, so a request still running after the core has
// gone is refused instead of touching freed state.
lan::CoreAccess lan_core_access(const std::shared_ptr<SharedState>& shared);

}  // namespace kesu
