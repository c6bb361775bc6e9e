#include "pipeline/speech_judgement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace kesu {
namespace {
constexpr std::size_t kFrame = 320;
constexpr double kAudibleRms = 0.0005;
constexpr double kLoudRms = 0.05;
constexpr double kAboveFloor = 3.0;
}  // namespace

SpeechJudgement judge_speech(std::span<const float> samples) {
  SpeechJudgement judgement;
  for (const float s : samples) judgement.peak = std::max(judgement.peak, std::fabs(s));
  if (samples.size() < kFrame) return judgement;

  std::vector<double> frame_rms;
  frame_rms.reserve(samples.size() / kFrame);
  for (std::size_t at = 0; at + kFrame <= samples.size(); at += kFrame) {
    double sum = 0;
    for (std::size_t i = at; i < at + kFrame; ++i) sum += double(samples[i]) * samples[i];
    frame_rms.push_back(std::sqrt(sum / kFrame));
  }
  const double loudest = *std::max_element(frame_rms.begin(), frame_rms.end());
  auto floor_at = frame_rms.begin() + static_cast<std::ptrdiff_t>((frame_rms.size() - 1) / 5);
  std::nth_element(frame_rms.begin(), floor_at, frame_rms.end());
  const double floor = *floor_at;
  judgement.speech = loudest >= kAudibleRms && (loudest >= kAboveFloor * floor || loudest >= kLoudRms);
  return judgement;
}

}  // namespace kesu
