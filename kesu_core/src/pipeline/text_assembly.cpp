#include "pipeline/text_assembly.h"

namespace kesu {

std::optional<Error> failure_of_all(const std::vector<DecodedSegment>& segments) {
  for (const DecodedSegment& segment : segments) {
    if (!segment.error) return std::nullopt;
  }
  if (segments.empty()) return std::nullopt;
  return segments.front().error;
}

std::string join_recognised(const std::vector<DecodedSegment>& segments, const SpeechBackend& speech) {
  std::vector<std::string> texts;
  for (const DecodedSegment& segment : segments) {
    if (!segment.error) texts.push_back(segment.text);
  }
  return speech.join(texts);
}

std::string finish_text(const std::string& joined, SpeechBackend& speech, const HotwordTable& hotwords,
                        const ConfigRecord& config) {
  if (joined.empty()) return joined;
  return speech.punctuate(hotwords.apply(joined), config);
}

}  // namespace kesu
