#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "hotwords/hotword_store.h"
#include "pipeline/speech_backend.h"
#include "polish/polish_client.h"

namespace kesu {

// Audio already recognised in the background while the user spoke.
struct CommittedPiece {
  std::vector<float> samples;
  std::string text;
  std::optional<Error> error;
};

// Everything the final decode needs, copied so that the decode thread shares nothing with the
// worker.
struct FinalDecodeJob {
  std::uint64_t session = 0;
  std::vector<CommittedPiece> pieces;
  std::vector<float> rest;                // audio after the last committed piece
  std::optional<std::string> given_text;  // text that skips recognition (debug entry point)
  ConfigPtr config;
  std::optional<PolishSettings> polish;   // nullopt: do not polish
  SegmentFilter filter;                   // the speaker filter in force, if any
};

struct FinalDecodeOutcome {
  std::uint64_t session = 0;
  std::vector<DecodedSegment> segments;
  std::optional<Error> failure;  // recognition failed as a whole
  bool no_speech_model = false;
  std::string raw_text;                // after hotwords and punctuation
  std::string text;                    // after polish
  std::optional<std::string> polish_error;
  std::uint64_t speech_ms = 0;
  std::uint64_t decode_ms = 0;
  std::uint64_t engine_wait_ms = 0;
  std::size_t filtered_out = 0;  // segments the speaker filter dropped
  bool all_filtered = false;     // it dropped all the speech there was
};

// Recognises what is left, joins it to the committed pieces in order, then applies hotwords,
// punctuation and polish. Runs on the final-decode thread.
FinalDecodeOutcome run_final_decode(const FinalDecodeJob& job, SpeechBackend& speech,
                                    const HotwordStore& hotwords, const HttpTransport& send);

// The audio of a dictation in order: committed pieces, then the rest.
std::vector<float> whole_recording(const std::vector<CommittedPiece>& pieces,
                                   const std::vector<float>& rest);

}  // namespace kesu
