#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kesu {

using Embedding = std::vector<float>;
// Computes a speaker embedding of 16 kHz audio; nullopt when none can be computed.
using Embedder = std::function<std::optional<Embedding>(std::span<const float>)>;

// Cosine similarity in 32-bit arithmetic; 0 for different lengths, empty or all-zero vectors.
float similarity(std::span<const float> a, std::span<const float> b);

// Which segments of a dictation a speaker filter lets through.
struct FilterOutcome {
  std::vector<bool> keep;  // one per segment
  std::size_t skipped = 0;
  std::size_t total = 0;
  std::string log_line;    // for standard error; empty when there is nothing to say
};

// Chooses the segments of a recording to recognise (voice lock or source lock).
using SegmentFilter = std::function<FilterOutcome(const std::vector<std::span<const float>>&)>;

// Voice lock: a segment passes when it has no embedding or is similar enough to the enrolled
// voice. When at least 3 segments were looked at and half or more were dropped, the enrolled
// voice evidently does not recognise the speaker and every segment is kept.
FilterOutcome apply_voice_lock(const std::vector<std::span<const float>>& segments,
                               std::span<const float> voice_print, float threshold,
                               const Embedder& embed);

// Source lock: locks onto the first speaker it can measure and drops other voices, re-locking
// when a different voice persists for 8 seconds.
FilterOutcome apply_source_lock(const std::vector<std::span<const float>>& segments, float threshold,
                                const Embedder& embed);

}  // namespace kesu
