#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "config/config_record.h"
#include "util/error.h"
#include "voice/voice_filter.h"

namespace kesu {

// One piece of audio recognised as a whole.
struct Recognition {
  std::string text;
  std::optional<Error> error;
  std::uint64_t engine_wait_ms = 0;  // time spent waiting for the engine lock
};

// One speech segment of a dictation, kept for reporting and single-segment retries.
struct DecodedSegment {
  int index = 0;
  std::vector<float> samples;
  std::string text;
  std::optional<Error> error;  // unset when it was recognised
};

struct SegmentedDecode {
  std::vector<DecodedSegment> segments;  // in order, indexes from 0
  std::optional<Error> failure;  // nothing could be recognised at all (no_audio: nothing to hear)
  std::uint64_t engine_wait_ms = 0;
  std::size_t filtered_out = 0;  // segments the speaker filter dropped
  bool all_filtered = false;     // the filter dropped every segment there was
};

// What the dictation pipeline needs from recognition. Every call may come from any of the
// core's recognition threads at once; implementations serialise engine use themselves.
class SpeechBackend {
 public:
  virtual ~SpeechBackend() = default;
  virtual Recognition recognise(std::span<const float> samples) = 0;
  // Cuts the audio into speech segments and recognises each in order; with a filter, only the
  // segments it keeps.
  virtual SegmentedDecode decode_segments(std::span<const float> samples, const ConfigRecord& config,
                                          const SegmentFilter& filter) = 0;
  virtual std::string punctuate(std::string text, const ConfigRecord& config) = 0;
  // Joins segment texts in order; engines may need a space between words of some languages.
  virtual std::string join(const std::vector<std::string>& texts) const {
    std::string out;
    for (const std::string& t : texts) out += t;
    return out;
  }
  // "sense", "qwen3" or "stub"; "" when no engine is usable.
  virtual std::string engine_name() const = 0;
  // False when no speech model is installed, so a failure can say what to download.
  virtual bool speech_model_installed() const = 0;
  // Builds and exercises, in the background after start, what the first dictation would
  // otherwise build while the user waits for the text.
  virtual void warm_up(const ConfigRecord&) {}
};

// Recognition without models: every segment reads "测试文本：你好，Kesu。".
std::shared_ptr<SpeechBackend> make_stub_speech_backend();

}  // namespace kesu
