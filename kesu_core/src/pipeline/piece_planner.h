#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>

namespace kesu {

// Background recognition while the user still speaks. A final piece is cut at a pause and kept
// for the result, so that the work left at release stays short whatever the length of the
// dictation; a preview piece only shows the user that recognition follows.
struct PiecePlan {
  std::size_t from = 0;
  std::size_t to = 0;
  bool final = false;
};

namespace piece_limits {
inline constexpr std::size_t kMinPending = 12800;       // 0.8 s
inline constexpr std::size_t kSkipSpacing = 64000;      // 4 s
inline constexpr std::size_t kPreviewSpan = 80000;      // 5 s
inline constexpr std::size_t kPreviewOnlyUntil = 192000;  // 12 s
inline constexpr std::size_t kCutSearchBack = 40000;    // look for a pause 2.5 s back …
inline constexpr std::size_t kCutSearchEnd = 12800;     // … up to 0.8 s back
inline constexpr std::size_t kForcedCut = 128000;       // 8 s
inline constexpr std::size_t kFrame = 320;
}  // namespace piece_limits

// The next piece to recognise, or nullopt. `pending` is the audio recorded after the first
// `committed` samples (those already belong to final pieces); the plan counts from the start of
// the recording. `spacing_elapsed` tells whether the pause after the previous piece is over.
std::optional<PiecePlan> plan_piece(std::span<const float> pending, std::size_t committed,
                                    bool spacing_elapsed);

// The pause after starting a piece: twice the last decode time, within 350..1200 ms.
std::chrono::milliseconds piece_spacing(std::chrono::milliseconds last_decode);

}  // namespace kesu
