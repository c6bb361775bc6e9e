#include "lan/audio_limit.h"

namespace kesu::lan {

std::string too_long_message(std::uint64_t samples_at_16k) {
  const std::uint64_t seconds = (samples_at_16k + 15999) / 16000;
  return "音频太长了（" + std::to_string(seconds) + " 秒）：上限 " + std::to_string(kMaxAudioSamples / 16000) +
         " 秒（约 13 分钟）";
}

}  // namespace kesu::lan
