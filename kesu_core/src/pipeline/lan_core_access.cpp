#include "pipeline/lan_core_access.h"

#include "pipeline/shared_state.h"
#include "pipeline/text_assembly.h"
#include "util/utf8.h"

namespace kesu {

lan::Transcript transcribe_for_lan(SpeechBackend& speech, std::span<const float> samples,
                                   const ConfigRecord& config) {
  const SegmentedDecode decoded = speech.decode_segments(samples, config, {});
  lan::Transcript out;
  out.segments = decoded.segments.size();
  // Nothing to recognise is an empty text, not a failure.
  const std::optional<Error> failure = decoded.failure ? decoded.failure : failure_of_all(decoded.segments);
  if (failure && failure->code != ErrorCode::no_audio) {
    out.failure = failure;
    return out;
  }
  out.text = trim_unicode(join_recognised(decoded.segments, speech));
  return out;
}

lan::CoreAccess lan_core_access(const std::shared_ptr<SharedState>& shared) {
  std::weak_ptr<SharedState> weak = shared;
  std::shared_ptr<SpeechBackend> speech = shared->speech;
  return {[weak]() -> std::optional<lan::CoreSnapshot> {
            const std::shared_ptr<SharedState> state = weak.lock();
            if (!state) return std::nullopt;
            return lan::CoreSnapshot{state->config.snapshot()};
          },
          [speech] { return speech->engine_name(); },
          [speech](std::span<const float> samples, const ConfigRecord& config) {
            return transcribe_for_lan(*speech, samples, config);
          }};
}

}  // namespace kesu
