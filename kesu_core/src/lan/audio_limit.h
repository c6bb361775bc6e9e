#pragma once

#include <cstdint>
#include <string>

namespace kesu::lan {

// The most audio one request may carry: what the body limit holds as 16 kHz 16-bit mono
// (819.2 s, about 13 minutes). A low rate or 8-bit samples fit far more audio into the same
// bytes, and resampling it to 16 kHz would take gigabytes.
inline constexpr std::uint64_t kMaxAudioSamples = 25ull * 1024 * 1024 / 2;

// The refusal of audio longer than kMaxAudioSamples, naming its length and the limit.
std::string too_long_message(std::uint64_t samples_at_16k);

}  // namespace kesu::lan
