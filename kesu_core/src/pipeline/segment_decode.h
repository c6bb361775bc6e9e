#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_slot.h"
#include "engine/vad_pool.h"
#include "punct/punctuator.h"
#include "voice/voice_filter.h"

namespace kesu {

struct SegmentResult {
  int index = 0;
  std::size_t start = 0;  // first sample within the recording
  std::vector<float> samples;
  std::string text;
  std::optional<Error> error;  // this segment could not be recognised
};

struct DecodeOutcome {
  std::vector<SegmentResult> segments;  // in recording order
  std::string text;  // the successful segments joined, hotwords and punctuation applied
  std::optional<Error> error;  // the whole recording failed (no_audio, or every segment failed)
  double speech_ms = 0;       // audio length of the segments
  double decode_ms = 0;       // wall time of the whole decode
  double engine_wait_ms = 0;  // summed waits for the engine lock
  std::size_t filtered_out = 0;  // segments a speaker filter dropped before recognition
  bool all_filtered = false;     // there was speech, and the filter dropped all of it
};

struct DecodeTools {
  EngineSlot& engine;
  VadPool& vad;
  Punctuator& punctuator;
  std::filesystem::path vad_model;
  std::function<std::string(std::string_view)> hotwords;  // may be empty
  SegmentFilter filter;  // may be empty: every segment is recognised
};

// Which segments KESU_FAULT_FAIL_SEGMENTS makes fail: "all", or segment indexes separated by
// commas ("0,2"). Entries that are not indexes are ignored.
struct FaultSelection {
  bool all = false;
  std::set<int> indexes;
  bool selects(int index) const { return all || indexes.count(index) > 0; }
};
FaultSelection parse_fault_selection(std::string_view text);

// The final decode: segment the recording, recognise each segment under the engine lock, join
// the texts in order and apply hotwords and punctuation. With KESU_DEBUG_TIMING set, prints
// "[kesu][t] …" timing lines.
DecodeOutcome segment_decode(std::span<const float> audio, const DecodeTools& tools);

// Joins segment texts, with a space only between two Latin words.
std::string join_segment_texts(const std::vector<std::string>& texts);

}  // namespace kesu
