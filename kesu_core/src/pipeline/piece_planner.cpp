#include "pipeline/piece_planner.h"

#include <algorithm>
#include <limits>

namespace kesu {
namespace {
using namespace piece_limits;

// Start of the quietest frame in the window before the end, when it is a real pause; counted
// from the start of `recording`.
std::optional<std::size_t> find_pause(std::span<const float> recording) {
  const std::size_t total = recording.size();
  const std::size_t begin = total - kCutSearchBack;
  const std::size_t end = total - kCutSearchEnd;
  double sum = 0;
  double quietest = std::numeric_limits<double>::max();
  std::size_t quietest_at = begin;
  std::size_t frames = 0;
  for (std::size_t at = begin; at + kFrame <= end; at += kFrame) {
    double energy = 0;
    for (std::size_t i = at; i < at + kFrame; ++i) energy += double(recording[i]) * recording[i];
    sum += energy;
    ++frames;
    if (energy < quietest) {
      quietest = energy;
      quietest_at = at;
    }
  }
  if (frames == 0) return std::nullopt;
  if (quietest <= 0.25 * (sum / double(frames))) return quietest_at;
  return std::nullopt;
}

}  // namespace

std::optional<PiecePlan> plan_piece(std::span<const float> pending_audio, std::size_t committed,
                                    bool spacing_elapsed) {
  const std::size_t pending = pending_audio.size();
  const std::size_t total = committed + pending;
  if (pending < kMinPending) return std::nullopt;
  if (pending < kSkipSpacing && !spacing_elapsed) return std::nullopt;

  const auto preview_from = [&](std::size_t floor) {
    return std::max(floor, total > kPreviewSpan ? total - kPreviewSpan : std::size_t{0});
  };
  if (committed == 0 && total < kPreviewOnlyUntil) return PiecePlan{preview_from(0), total, false};

  if (pending >= kSkipSpacing) {
    if (const auto pause = find_pause(pending_audio)) {
      return PiecePlan{committed, committed + *pause, true};
    }
    if (pending >= kForcedCut) return PiecePlan{committed, total, true};
  }
  return PiecePlan{preview_from(committed), total, false};
}

std::chrono::milliseconds piece_spacing(std::chrono::milliseconds last_decode) {
  return std::clamp(2 * last_decode, std::chrono::milliseconds{350}, std::chrono::milliseconds{1200});
}

}  // namespace kesu
