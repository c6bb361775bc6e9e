#include "lan/wav_length.h"

#include <algorithm>
#include <cstring>

namespace kesu::lan {
namespace {

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::optional<std::uint64_t> wav_samples_at_16k(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
      std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    return std::nullopt;
  }
  // The chunks are walked the way the WAV reader walks them, so both agree on the data size.
  std::uint32_t rate = 0;
  std::uint64_t frame_bytes = 0;
  std::size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const std::uint8_t* chunk = bytes.data() + pos;
    const std::uint32_t declared = u32(chunk + 4);
    const std::size_t body = pos + 8;
    const std::size_t available = bytes.size() - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (declared < 16 || available < 16) return std::nullopt;
      rate = u32(chunk + 12);
      frame_bytes = static_cast<std::uint64_t>(u16(chunk + 22) / 8) * u16(chunk + 10);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (rate == 0 || frame_bytes == 0) return std::nullopt;
      // A size of 0 or beyond the end means "up to the end", as streams written on the fly leave it.
      const std::uint64_t size = declared == 0 ? available : std::min<std::uint64_t>(declared, available);
      const std::uint64_t frames = size / frame_bytes;
      return (frames * 16000 + rate - 1) / rate;
    }
    if (declared > available) return std::nullopt;
    pos = body + declared + (declared & 1);
  }
  return std::nullopt;
}

std::string too_long_message(std::uint64_t samples_at_16k) {
  const std::uint64_t seconds = (samples_at_16k + 15999) / 16000;
  return "音频太长了（" + std::to_string(seconds) + " 秒）：上限 " + std::to_string(kMaxAudioSamples / 16000) +
         " 秒（约 13 分钟）";
}

}  // namespace kesu::lan
