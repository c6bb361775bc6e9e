#pragma once

#include <span>

namespace kesu {

// Whether a recording holds speech worth recognising, judged on 20 ms frames: the loudest frame
// must be audible and stand out from the floor (or be loud outright).
struct SpeechJudgement {
  bool speech = false;
  float peak = 0;  // largest absolute sample value
};

inline constexpr float kQuietPeak = 0.02f;  // below this, speech is too quiet to insert

SpeechJudgement judge_speech(std::span<const float> samples);

}  // namespace kesu
