#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/config_record.h"
#include "hotwords/hotword_table.h"
#include "pipeline/speech_backend.h"

namespace kesu {

// How every recognition path (dictations and LAN requests alike) makes its text from decoded
// segments, so that the same audio gives the same text wherever it came from.

// The first segment's reason when segments were decoded and none of them was recognised.
std::optional<Error> failure_of_all(const std::vector<DecodedSegment>& segments);

// The recognised segments' texts joined in order by the engine's rule; failed ones left out.
std::string join_recognised(const std::vector<DecodedSegment>& segments, const SpeechBackend& speech);

// Hotword rules, then punctuation as `config` says; an empty text stays empty.
std::string finish_text(const std::string& joined, SpeechBackend& speech, const HotwordTable& hotwords,
                        const ConfigRecord& config);

}  // namespace kesu
