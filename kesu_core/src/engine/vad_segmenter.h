#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <vector>

#include "engine/vad_pool.h"

namespace kesu {

struct SpeechPiece {
  std::size_t start = 0;  // first sample within the recording
  std::vector<float> samples;
};

// Fixed windows of 25 s at 16 kHz, used when the detector cannot be loaded.
inline constexpr std::size_t kFixedWindowSamples = 16000 * 25;

// Consecutive windows of `window` samples; the last one holds the remainder.
std::vector<SpeechPiece> fixed_windows(std::span<const float> audio,
                                       std::size_t window = kFixedWindowSamples);

struct Segmentation {
  std::vector<SpeechPiece> pieces;
  bool by_detector = false;  // false: fixed windows
};

// Cuts a recording into speech segments with a Silero detector for `vad_model` from `pool`.
// When none can be built, prints "[kesu] VAD 加载失败，退回固定窗口：{error}" and cuts fixed
// windows.
Segmentation segment_speech(std::span<const float> audio, VadPool& pool,
                            const std::filesystem::path& vad_model);

}  // namespace kesu
